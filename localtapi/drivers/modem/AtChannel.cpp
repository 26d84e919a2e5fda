#include "localtapi/drivers/modem/AtChannel.h"

#include <utility>

namespace localtapi::modem {


AtChannel::AtChannel() {
    commandTimer.setSingleShot(true);
    QObject::connect(&commandTimer, &QTimer::timeout, [this] {
        Step("<- (no answer in time)");
        Finish(Outcome{Result::None, true, false});
    });
    paceTimer.setSingleShot(true);
    paceTimer.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5 % early
    QObject::connect(&paceTimer, &QTimer::timeout, [this] {
        if (auto write = std::exchange(paced, nullptr))
            write();
    });
    port.onData = [this](std::string_view bytes) {
        lastTraffic = Clock::now();
        OnData(bytes);
    };
    port.onGone = [this] {
        if (onGone)
            onGone();
    };
}

int AtChannel::Open(const std::string& path, unsigned speed) {
    const int error = port.Open(path, speed);
    lines.Reset();
    return error;
}

void AtChannel::Close() {
    Forget();
    port.Close();
    lines.Reset();
}

void AtChannel::Send(const std::string& command, milliseconds timeout, Done done) {
    pending = std::move(done);
    const auto since = std::chrono::duration_cast<milliseconds>(Clock::now() - lastResult);
    if (since >= kCommandPacing) {
        WriteNow(command, timeout);
        return;
    }
    paced = [this, command, timeout] { WriteNow(command, timeout); };
    paceTimer.start(kCommandPacing - since);
}

void AtChannel::WriteNow(const std::string& command, milliseconds timeout) {
    Step("-> " + command);
    commandTimer.start(timeout);
    lastTraffic = Clock::now();
    port.Write(command + "\r"); // a failed write shows up as the port's loss
}

void AtChannel::Escape(milliseconds guard, milliseconds timeout, Done done) {
    pending = std::move(done);
    const auto quiet = std::chrono::duration_cast<milliseconds>(Clock::now() - lastTraffic);
    paced = [this, guard, timeout] {
        Step("-> +++");
        commandTimer.start(guard + timeout);
        lastTraffic = Clock::now();
        port.Write("+++");
    };
    paceTimer.start(quiet >= guard ? milliseconds(0) : guard - quiet);
}

void AtChannel::Abort(milliseconds timeout, Done done) {
    if (done)
        pending = std::move(done);
    if (paced) {
        // Not written yet: nothing to abort; the command ends here, unsent.
        paced = nullptr;
        paceTimer.stop();
        Step("-> (not sent: aborted)");
        Finish(Outcome{Result::None, false, false});
        return;
    }
    Step("-> (abort: CR)");
    commandTimer.start(timeout);
    lastTraffic = Clock::now();
    port.Write("\r");
}

void AtChannel::Finish(const Outcome& outcome) {
    if (!pending)
        return;
    Done done = std::move(pending);
    pending = nullptr;
    commandTimer.stop();
    done(outcome);
}

void AtChannel::Forget() {
    pending = nullptr;
    paced = nullptr;
    paceTimer.stop();
    commandTimer.stop();
}

void AtChannel::OnData(std::string_view bytes) {
    for (const ResponseLine& line : lines.Feed(bytes)) {
        if (!port.IsOpen())
            return; // closed by an earlier line's handler
        switch (line.kind) {
        case LineKind::Echo:  // our own command repeated (E1)
        case LineKind::Other: // information text, or noise on the line
            break;
        case LineKind::Unsolicited:
            lastResult = Clock::now();
            if (onUnsolicited)
                onUnsolicited(line);
            break;
        case LineKind::Final:
            lastResult = Clock::now();
            Step(std::string("<- ") + ResultName(line.result));
            if (pending && !paced)
                Finish(Outcome{line.result, false, false});
            else if (onStray)
                onStray(line.result);
            break;
        }
    }
}

} // namespace localtapi::modem
