// AtChannel: the command channel to a Hayes-compatible modem on a serial port.
//
// Owns the port and the assembly of the modem's replies into lines. One command is
// outstanding at a time: Send writes it and waits for its final result code, its timeout
// or the port's loss, and hands that outcome to the command's continuation exactly once.
// Lines that are not a final result go to their own place: unsolicited result codes (RING
// and the like) to onUnsolicited, a final result with no command out to onStray; echoes
// and information text are dropped. A port that vanishes calls onGone.
//
// What it does not do: no call logic, no choice of commands, no retries; those are the
// line's (ModemLine).
#pragma once

#include "localtapi/drivers/modem/ResultCodes.h"
#include "localtapi/drivers/modem/SerialPort.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

namespace localtapi::modem {

using std::chrono::milliseconds;

class AtChannel {
  public:
    // What a command ended with.
    struct Outcome {
        Result result = Result::None; // the final result code; None on timeout or loss
        bool timedOut = false;
        bool gone = false;
    };
    using Done = std::function<void(const Outcome&)>;

    AtChannel();
    AtChannel(const AtChannel&) = delete;
    AtChannel& operator=(const AtChannel&) = delete;

    // Opens the port: 0, or the errno that stopped it (see SerialPort::Open).
    int Open(const std::string& path, unsigned speed);
    // Closes the port (DTR drops) and forgets the outstanding command without calling it.
    void Close();
    bool IsOpen() const { return port.IsOpen(); }

    // Writes command and CR; done gets its outcome. Only when no command is outstanding.
    void Send(const std::string& command, milliseconds timeout, Done done);
    bool Busy() const { return static_cast<bool>(pending); }
    // Stops a dial in progress: one CR, which any modem takes as an abort. The command
    // stays outstanding with a new timeout for the result the modem then gives; with done
    // given, that result goes there instead.
    void Abort(milliseconds timeout, Done done = nullptr);
    // Ends the outstanding command now with this outcome (nothing when none is out).
    void Finish(const Outcome& outcome);
    // Forgets the outstanding command without calling it.
    void Forget();
    // Writes raw bytes (a best-effort hang-up on the way out).
    void Write(const std::string& bytes) { port.Write(bytes); }

    std::function<void(const ResponseLine&)> onUnsolicited;
    std::function<void(Result)> onStray;
    std::function<void()> onGone;

  private:
    void OnData(std::string_view bytes);

    SerialPort port;
    LineAssembler lines;
    Done pending;        // the outstanding command's continuation; empty when none
    QTimer commandTimer; // its timeout
};

} // namespace localtapi::modem
