// AtChannel: the command channel to a Hayes-compatible modem on a serial port.
//
// Owns the port and the assembly of the modem's replies into lines. One command is
// outstanding at a time: Send writes it and waits for its final result code, its timeout
// or the port's loss, and hands that outcome to the command's continuation exactly once.
// Lines that are not a final result go to their own place: unsolicited result codes (RING
// and the like) to onUnsolicited, a final result with no command out to onStray; echoes
// and information text are dropped. A port that vanishes calls onGone.
//
// A command line never follows a result code sooner than kCommandPacing (V.250 asks the
// terminal to wait 0.1 s; modems lose the first characters otherwise): Send waits the
// rest of that time before it writes. Every command written and every result or timeout
// is told to onStep, for the trace.
//
// What it does not do: no call logic, no choice of commands, no retries; those are the
// line's (ModemLine).
#pragma once

#include "localtapi/drivers/modem/ResultCodes.h"
#include "localtapi/drivers/modem/SerialPort.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace localtapi::modem {

using std::chrono::milliseconds;

// Least time from a result code to the next command line.
inline constexpr milliseconds kCommandPacing{100};

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
    // given, that result goes there instead. A command still waiting for its turn is not
    // sent at all and ends at once (no result, no timeout).
    void Abort(milliseconds timeout, Done done = nullptr);
    // The escape from data mode to command mode: guard times of silence before and after
    // "+++"; the modem then answers OK. done gets the outcome.
    void Escape(milliseconds guard, milliseconds timeout, Done done);
    // Ends the outstanding command now with this outcome (nothing when none is out).
    void Finish(const Outcome& outcome);
    // Forgets the outstanding command without calling it.
    void Forget();
    // Writes raw bytes (a best-effort hang-up on the way out).
    void Write(const std::string& bytes) { port.Write(bytes); }
    bool DropDtr() { return port.DropDtr(); }
    std::optional<bool> CarrierDetect() const { return port.CarrierDetect(); }
    const SerialPort& Port() const { return port; }

    std::function<void(const ResponseLine&)> onUnsolicited;
    std::function<void(Result)> onStray;
    std::function<void()> onGone;
    std::function<void(const std::string&)> onStep;

  private:
    using Clock = std::chrono::steady_clock;
    void OnData(std::string_view bytes);
    void WriteNow(const std::string& command, milliseconds timeout);
    void Step(const std::string& text) {
        if (onStep)
            onStep(text);
    }

    SerialPort port;
    LineAssembler lines;
    Done pending;        // the outstanding command's continuation; empty when none
    QTimer commandTimer; // its timeout
    QTimer paceTimer;    // a command waiting for its turn
    std::function<void()> paced;
    Clock::time_point lastResult{};  // when the last result code arrived
    Clock::time_point lastTraffic{}; // when the last byte went either way
};

} // namespace localtapi::modem
