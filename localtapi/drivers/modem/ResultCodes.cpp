#include "localtapi/drivers/modem/ResultCodes.h"

#include <array>

namespace localtapi::modem {

namespace {

struct Verbose {
    std::string_view text;
    Result result;
};

// Verbose result codes that must match the whole line.
constexpr std::array kVerbose{
    Verbose{"OK", Result::Ok},
    Verbose{"RING", Result::Ring},
    Verbose{"NO CARRIER", Result::NoCarrier},
    Verbose{"ERROR", Result::Error},
    Verbose{"NO DIALTONE", Result::NoDialtone},
    Verbose{"NO DIAL TONE", Result::NoDialtone},
    Verbose{"BUSY", Result::Busy},
    Verbose{"NO ANSWER", Result::NoAnswer},
};

// Lines a modem sends on its own besides RING: caller-ID reports and the +C ring form.
constexpr std::array<std::string_view, 7> kUnsolicitedPrefixes{"DATE", "TIME",     "NMBR",  "NAME",
                                                               "MESG", "DDN_NMBR", "+CRING"};

// Numeric (V0) codes of the basic Hayes set. 1, 5 and 9 to 19 are CONNECT at some rate.
Result NumericResult(std::string_view digits) {
    if (digits.empty() || digits.size() > 2)
        return Result::None;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return Result::None;
        value = value * 10 + (c - '0');
    }
    switch (value) {
    case 0:
        return Result::Ok;
    case 1:
    case 5:
        return Result::Connect;
    case 2:
        return Result::Ring;
    case 3:
        return Result::NoCarrier;
    case 4:
        return Result::Error;
    case 6:
        return Result::NoDialtone;
    case 7:
        return Result::Busy;
    case 8:
        return Result::NoAnswer;
    default:
        return (value >= 9 && value <= 19) ? Result::Connect : Result::None;
    }
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool IsUpper(char c, char upper) {
    return c == upper || c == upper - 'A' + 'a';
}

} // namespace

ResponseLine ClassifyLine(std::string_view raw) {
    ResponseLine line;
    line.text.assign(raw);
    const std::string_view s = TrimSpaces(raw);

    // A command echo starts with AT (or A/, the repeat command) in either case.
    if (s.size() >= 2 && IsUpper(s[0], 'A') && (IsUpper(s[1], 'T') || s[1] == '/')) {
        line.kind = LineKind::Echo;
        return line;
    }

    Result result = NumericResult(s);
    if (result == Result::None) {
        for (const Verbose& v : kVerbose)
            if (s == v.text)
                result = v.result;
        if (s == "CONNECT" || s.starts_with("CONNECT "))
            result = Result::Connect;
    }
    if (result == Result::Ring) {
        line.kind = LineKind::Unsolicited;
        line.result = result;
        return line;
    }
    if (result != Result::None) {
        line.kind = LineKind::Final;
        line.result = result;
        return line;
    }
    for (std::string_view prefix : kUnsolicitedPrefixes) {
        if (s.starts_with(prefix)) {
            const std::string_view rest = TrimSpaces(s.substr(prefix.size()));
            if (!rest.empty() && (rest.front() == '=' || rest.front() == ':')) {
                line.kind = LineKind::Unsolicited;
                return line;
            }
        }
    }
    return line;
}

const char* ResultName(Result result) {
    if (result == Result::None)
        return "none";
    if (result == Result::Connect)
        return "CONNECT";
    for (const Verbose& v : kVerbose) // the first spelling of each code
        if (v.result == result)
            return v.text.data();
    return "?";
}

std::vector<ResponseLine> LineAssembler::Feed(std::string_view bytes) {
    std::vector<ResponseLine> lines;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!partial.empty() || overflowed) {
                ResponseLine line = ClassifyLine(partial);
                if (overflowed)
                    line = ResponseLine{LineKind::Other, Result::None, partial};
                lines.push_back(std::move(line));
            }
            partial.clear();
            overflowed = false;
            continue;
        }
        if (partial.size() < kMaxLineBytes)
            partial.push_back(c);
        else
            overflowed = true;
    }
    return lines;
}

void LineAssembler::Reset() {
    partial.clear();
    overflowed = false;
}

} // namespace localtapi::modem
