#include "tests/support/ModemSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cctype>
#include <fcntl.h>
#include <map>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

long long NowMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.elapsed();
}

} // namespace

ModemSimulator::ModemSimulator(Script s, std::string link)
    : script(std::move(s)), echo(script.echo), verbose(script.verbose), quiet(script.quiet),
      linkPath(std::move(link)) {
    char name[256] = {};
    termios tio{};
    cfmakeraw(&tio);
    if (::openpty(&master, &slaveKeep, name, &tio, nullptr) != 0)
        return;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    slavePath = name;
    if (!linkPath.empty()) {
        ::unlink(linkPath.c_str());
        if (::symlink(name, linkPath.c_str()) == 0)
            slavePath = linkPath;
    }
    context = std::make_unique<QObject>();
    auto* notifier = new QSocketNotifier(master, QSocketNotifier::Read, context.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context.get(), [this] {
        char buffer[256];
        ssize_t n = 0;
        while (master >= 0 && (n = ::read(master, buffer, sizeof buffer)) > 0) // until EAGAIN or EIO
            for (ssize_t i = 0; i < n; ++i)
                OnByte(buffer[i]);
    });
    if (script.floodMs > 0) { // a device that talks all the time (a GPS receiver, say)
        auto* flood = new QTimer(context.get());
        QObject::connect(flood, &QTimer::timeout, context.get(),
                         [this] { Send("$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n"); });
        flood->start(script.floodMs);
    }
}

void ModemSimulator::Vanish() {
    if (!linkPath.empty() && master >= 0)
        ::unlink(linkPath.c_str());
    dialTimer.reset();
    escapeTimer.reset();
    context.reset();
    for (int fd : {master, slaveKeep})
        if (fd >= 0)
            ::close(fd);
    master = slaveKeep = -1;
}

void ModemSimulator::Send(const std::string& bytes) {
    for (std::size_t done = 0; master >= 0 && done < bytes.size();) {
        const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        done = n > 0 ? done + static_cast<std::size_t>(n) : bytes.size(); // a full buffer loses bytes
    }
}

void ModemSimulator::OnByte(char c) {
    received.push_back(c);
    const long long now = NowMs();
    const long long quietFor = now - lastByteMs;
    lastByteMs = now;
    if (script.mute)
        return;
    if (!script.babble.empty()) {
        if (c == '\r')
            Send(script.babble);
        return;
    }
    if (dialTimer) { // a character aborts a dial (if the modem does that), and is swallowed
        if (!script.charAbort)
            return;
        dialTimer.reset();
        if (!script.abortResult.empty())
            Reply(script.abortResult);
        return;
    }
    if (dataMode) { // "+++" between guard times returns to command mode; all else is data
        escapeTimer.reset();
        if (c == '+' && (pluses > 0 || quietFor >= script.guardMs))
            ++pluses;
        else
            pluses = 0;
        if (pluses == 3) {
            pluses = 0;
            escapeTimer = std::make_unique<QObject>();
            QTimer::singleShot(script.guardMs, escapeTimer.get(), [this] {
                escapeTimer.release()->deleteLater();
                dataMode = false;
                Reply("OK");
            });
        }
        return;
    }
    if (lineBuffer.empty() && c != '\r' && c != '\n') {
        // A command line begins: too soon after a result, and a slow modem loses it.
        const long gap = static_cast<long>(now - lastResultMs);
        if (minGap < 0 || gap < minGap)
            minGap = gap;
        losingLine = gap < script.loseWithinMs;
    }
    if (losingLine) {
        if (c == '\r')
            losingLine = false;
        return;
    }
    if (echo)
        Send(std::string(1, c));
    if (c == '\r' && !lineBuffer.empty())
        Execute(std::exchange(lineBuffer, {}));
    else if (c != '\r' && c != '\n')
        lineBuffer.push_back(c);
}

void ModemSimulator::Execute(const std::string& line) {
    if (line == script.vanishOn)
        return Vanish();
    if (script.ignore.count(line) != 0)
        return;
    if (script.refuse.count(line) != 0)
        return Reply("ERROR");
    std::string cmd = line;
    for (char& c : cmd)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!cmd.starts_with("AT"))
        return; // not a command line
    std::size_t i = 2;
    auto number = [&] {
        int value = 0;
        while (i < cmd.size() && std::isdigit(static_cast<unsigned char>(cmd[i])))
            value = value * 10 + (cmd[i++] - '0');
        return value;
    };
    while (i < cmd.size()) {
        const char c = cmd[i++];
        if (c == 'D') {
            if (!cmd.ends_with(';'))
                return Reply("NO CARRIER"); // a voice modem without ';' waits for a carrier
            std::string result = "OK";
            if (!script.dials.empty()) {
                result = script.dials.front();
                script.dials.pop_front();
            }
            offHook = true;
            dialTimer = std::make_unique<QObject>();
            if (!result.empty())
                QTimer::singleShot(script.dialMs, dialTimer.get(), [this, result] {
                    dialTimer.release()->deleteLater(); // this runs inside its timer
                    Send(script.beforeDialResult);
                    if (result == "vanish")
                        return Vanish();
                    dataMode = result.starts_with("CONNECT");
                    Reply(result);
                });
            return;
        }
        if (c == 'E')
            echo = number() != 0;
        else if (c == 'V')
            verbose = number() != 0;
        else if (c == 'Q')
            quiet = number() != 0;
        else if (c == 'H')
            offHook = number() != 0;
        else if (c == 'Z' || (c == '&' && i < cmd.size() && cmd[i] == 'F')) {
            echo = verbose = true;
            quiet = false;
            offHook = offHook && c != 'Z';
        }
        else if (c != ' ' && c != '&' && !std::isalpha(static_cast<unsigned char>(c)))
            return Reply("ERROR");
        if (c == '&' && i++ >= cmd.size())
            return Reply("ERROR");
        number();
    }
    Reply("OK");
}

void ModemSimulator::Reply(const std::string& text) {
    static const std::map<std::string, int> codes{{"OK", 0},         {"CONNECT", 1},  {"RING", 2},
                                                  {"NO CARRIER", 3}, {"ERROR", 4},    {"NO DIALTONE", 6},
                                                  {"BUSY", 7},       {"NO ANSWER", 8}};
    lastResultMs = NowMs();
    if (quiet)
        return;
    Send(script.noise);
    const auto code = codes.find(text);
    Send(verbose || code == codes.end() ? "\r\n" + text + "\r\n" : std::to_string(code->second) + "\r");
}
