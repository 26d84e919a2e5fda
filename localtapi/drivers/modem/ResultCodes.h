// ResultCodes: turns the bytes a Hayes modem sends into classified lines.
//
// Assembles lines from arbitrary chunks (a line ends at CR or LF; empty lines are
// skipped), and classifies each one: a final result code in verbose ("OK", "BUSY") or
// numeric ("0", "7") form, an unsolicited line the modem sends on its own ("RING",
// caller-ID lines), the echo of a command the driver sent ("AT..."), or anything else
// (information text or line noise). Both verbose and numeric forms are always
// recognised, so the parser needs no knowledge of the modem's current V setting.
//
// It does not know which command is outstanding and takes no decisions: the driver
// decides what a final result means for the command it sent. It does no I/O.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi::modem {

enum class Result {
    None, // not a result code
    Ok,
    Connect, // any CONNECT, with or without a rate
    Ring,
    NoCarrier,
    Error,
    NoDialtone, // "NO DIALTONE" and "NO DIAL TONE"
    Busy,
    NoAnswer,
};

enum class LineKind {
    Final,       // a result code that ends a command (everything in Result but Ring)
    Unsolicited, // sent by the modem on its own: RING and caller-ID report lines
    Echo,        // the modem repeating a command line back (E1)
    Other,       // information text, or garbage
};

struct ResponseLine {
    LineKind kind = LineKind::Other;
    Result result = Result::None;
    std::string text; // the line without its terminator
};

// Classifies one complete line (no CR/LF inside).
ResponseLine ClassifyLine(std::string_view line);

// Short name of a result code, for traces and test output.
const char* ResultName(Result result);

class LineAssembler {
  public:
    // Longest line kept; the rest of a longer line is dropped (a modem never sends one,
    // so such a line is noise and is classified as Other).
    static constexpr std::size_t kMaxLineBytes = 256;

    // Feeds one chunk of bytes and returns the lines it completed, in order.
    std::vector<ResponseLine> Feed(std::string_view bytes);

    // Forgets a partial line (after the port was reopened, for instance).
    void Reset();

    const std::string& Pending() const { return partial; }

  private:
    std::string partial;
    bool overflowed = false;
};

} // namespace localtapi::modem
