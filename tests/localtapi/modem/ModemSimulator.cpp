#include "ModemSimulator.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cctype>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Code {
    const char* text;
    int number;
};

constexpr Code kCodes[] = {
    {"OK", 0},    {"CONNECT", 1},     {"RING", 2}, {"NO CARRIER", 3},
    {"ERROR", 4}, {"NO DIALTONE", 6}, {"BUSY", 7}, {"NO ANSWER", 8},
};

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

ModemSimulator::ModemSimulator(Script s) : script(std::move(s)), echo(script.echo), verbose(script.verbose) {
    char name[256] = {};
    termios tio{};
    cfmakeraw(&tio);
    if (::openpty(&master, &slaveKeep, name, &tio, nullptr) != 0)
        return;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    slavePath = name;
    context = std::make_unique<QObject>();
    notifier = new QSocketNotifier(master, QSocketNotifier::Read, context.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context.get(), [this] { OnReadable(); });
}

ModemSimulator::~ModemSimulator() {
    Vanish();
}

void ModemSimulator::Vanish() {
    dialTimer.reset();
    context.reset();
    notifier = nullptr;
    if (master >= 0)
        ::close(master);
    if (slaveKeep >= 0)
        ::close(slaveKeep);
    master = slaveKeep = -1;
}

void ModemSimulator::Send(const std::string& bytes) {
    if (master < 0)
        return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return; // a test modem with a full buffer just loses bytes
        done += static_cast<std::size_t>(n);
    }
}

void ModemSimulator::OnReadable() {
    char buffer[256];
    for (;;) {
        if (master < 0)
            return;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN, or no slave open (EIO): nothing to read
        for (ssize_t i = 0; i < n; ++i)
            OnByte(buffer[i]);
    }
}

void ModemSimulator::OnByte(char c) {
    received.push_back(c);
    if (script.mute)
        return;
    if (dialTimer) {
        // Any character aborts a dial in progress; the character itself is swallowed.
        dialTimer.reset();
        if (!script.abortResult.empty())
            Reply(script.abortResult);
        return;
    }
    if (echo)
        Send(std::string(1, c));
    if (c == '\n')
        return;
    if (c != '\r') {
        lineBuffer.push_back(c);
        return;
    }
    const std::string line = lineBuffer;
    lineBuffer.clear();
    if (line.empty())
        return;
    commands.push_back(line);
    Execute(line);
}

void ModemSimulator::Execute(const std::string& line) {
    if (script.ignore.count(line) != 0)
        return;
    if (script.refuse.count(line) != 0) {
        Reply("ERROR");
        return;
    }
    const std::string cmd = Upper(line);
    if (cmd.size() < 2 || cmd.compare(0, 2, "AT") != 0)
        return; // not a command line: a modem ignores it
    std::size_t i = 2;
    auto number = [&]() {
        int value = 0;
        while (i < cmd.size() && std::isdigit(static_cast<unsigned char>(cmd[i])))
            value = value * 10 + (cmd[i++] - '0');
        return value;
    };
    while (i < cmd.size()) {
        const char c = cmd[i++];
        if (c == ' ')
            continue;
        if (c == 'D') {
            // The rest of the line is the dial string. With ';' the modem returns to
            // command mode when the digits are out.
            std::string dial = cmd.substr(i);
            if (dial.empty() || dial.back() != ';') {
                Reply("NO CARRIER"); // a voice modem without ';' waits for a carrier
                return;
            }
            DialOutcome outcome = DialOutcome::Ok;
            if (!script.dials.empty()) {
                outcome = script.dials.front();
                script.dials.pop_front();
            }
            if (outcome == DialOutcome::Error) {
                Reply("ERROR");
                return;
            }
            dialTimer = std::make_unique<QObject>();
            if (outcome != DialOutcome::Silent)
                QTimer::singleShot(script.dialTime, dialTimer.get(), [this, outcome] { EndDial(outcome); });
            return;
        }
        if (c == 'E') {
            echo = number() != 0;
        } else if (c == 'V') {
            verbose = number() != 0;
        } else if (c == 'Z') {
            number();
            echo = verbose = true;
        } else if (c == '&') {
            if (i >= cmd.size()) {
                Reply("ERROR");
                return;
            }
            const char what = cmd[i++];
            number();
            if (what == 'F')
                echo = verbose = true;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            number();
        } else {
            Reply("ERROR");
            return;
        }
    }
    Reply("OK");
}

void ModemSimulator::EndDial(DialOutcome outcome) {
    dialTimer.release()->deleteLater(); // runs inside this object's own timer
    if (!script.unsolicitedBeforeDialResult.empty())
        Send(script.unsolicitedBeforeDialResult);
    switch (outcome) {
    case DialOutcome::Ok:
        Reply("OK");
        break;
    case DialOutcome::Connect:
        Reply("CONNECT");
        break;
    case DialOutcome::Busy:
        Reply("BUSY");
        break;
    case DialOutcome::NoDialtone:
        Reply("NO DIALTONE");
        break;
    case DialOutcome::NoAnswer:
        Reply("NO ANSWER");
        break;
    case DialOutcome::NoCarrier:
        Reply("NO CARRIER");
        break;
    case DialOutcome::Error:
        Reply("ERROR");
        break;
    case DialOutcome::Silent:
        break;
    case DialOutcome::Vanish:
        Vanish();
        break;
    }
}

void ModemSimulator::Reply(const std::string& text) {
    for (const Code& code : kCodes)
        if (text == code.text) {
            Result(code.number, text);
            return;
        }
    Result(-1, text);
}

void ModemSimulator::Result(int code, const std::string& text) {
    Send(script.noise);
    if (verbose || code < 0)
        Send("\r\n" + text + "\r\n");
    else
        Send(std::to_string(code) + "\r");
}
