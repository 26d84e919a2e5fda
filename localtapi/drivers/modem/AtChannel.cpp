#include "localtapi/drivers/modem/AtChannel.h"

namespace localtapi::modem {

AtChannel::AtChannel() {
    commandTimer.setSingleShot(true);
    QObject::connect(&commandTimer, &QTimer::timeout, [this] { Finish(Outcome{Result::None, true, false}); });
    port.onData = [this](std::string_view bytes) { OnData(bytes); };
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
    commandTimer.start(timeout);
    port.Write(command + "\r"); // a failed write shows up as the port's loss
}

void AtChannel::Abort(milliseconds timeout, Done done) {
    if (done)
        pending = std::move(done);
    commandTimer.start(timeout);
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
            if (onUnsolicited)
                onUnsolicited(line);
            break;
        case LineKind::Final:
            if (pending)
                Finish(Outcome{line.result, false, false});
            else if (onStray)
                onStray(line.result);
            break;
        }
    }
}

} // namespace localtapi::modem
