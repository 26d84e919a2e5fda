// The real dialer (the binary ORVODIAL_BINARY names) on the X display of an X11 test, on a
// configuration file of the test's own and with the telephony trace in a file beside it,
// driven as a user would with xdotool. Stopped when it goes out of scope. It does not
// start an X server: CTest runs these tests under xvfb-run (with -noreset).
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/XdoTool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

namespace xdo {

struct DialerOptions {
    // Leaks are reported (LeakSanitizer, in sanitizer builds), but for those of the
    // system's X11 and D-Bus libraries (tests/support/system-libraries.lsan).
    bool checkLeaks = false;
    // Standard error kept for Finish() instead of passed on.
    bool keepErrors = false;
};

class DialerProcess {
  public:
    using Options = DialerOptions;

    // Skipped (empty Binary()) without ORVODIAL_BINARY or a display.
    static QString Binary() {
        return qEnvironmentVariableIsEmpty("DISPLAY") ? QString() : qEnvironmentVariable("ORVODIAL_BINARY");
    }

    // The configuration file is the owner's alone: it may hold a password. Empty: no file
    // (the dialer starts on its simulated line).
    explicit DialerProcess(const std::string& configuration, Options o = {}) : options(o) {
        if (configuration.empty())
            return;
        QFile config(ConfigPath());
        config.open(QIODevice::WriteOnly);
        config.write(configuration.data(), static_cast<qint64>(configuration.size()));
        config.close();
        config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    ~DialerProcess() { testproc::Stop(process); }

    // Starts it; the dial window's id once it shows, empty when it did not.
    std::string Start() {
        StartWith({});
        return Window("^Orvo Dial$", 20000, [&] { return process.state() == QProcess::NotRunning; });
    }

    // Starts it with these arguments, in the environment of the dialer: returns at once.
    void StartWith(const QStringList& args) { StartProcess(process, args); }

    // Another start of the program (a link, a dialog option) as this dialer's user: the
    // same configuration, trace, runtime folder and sanitizer options.
    void StartProcess(QProcess& other, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVODIAL_TELEPHONY_CONFIG"), ConfigPath());
        env.insert(QStringLiteral("ORVODIAL_TAPI_TRACE"), dir.filePath(QStringLiteral("trace.txt")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // A runtime directory of its own, so that it never hands over to a dialer running
        // elsewhere for this user and ends.
        QDir(dir.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        // The X11 platform's own libraries leak on their own in sanitizer builds.
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       (options.checkLeaks ? ":detect_leaks=1" : ":detect_leaks=0"));
        if (options.checkLeaks)
            env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ORVODIAL_SOURCE_DIR
                                                                      "/tests/support/system-libraries.lsan"));
        other.setProcessEnvironment(env);
        other.setProcessChannelMode(options.keepErrors ? QProcess::ForwardedOutputChannel
                                                       : QProcess::ForwardedChannels);
        other.start(Binary(), args);
        other.waitForStarted(10000);
    }

    // Waits (bounded) for the dialer to end by itself; its exit status, or -1 when it
    // did not end or crashed. Its standard error (with keepErrors) goes to `errors`.
    int Finish(std::string& errors, int ms = 30000) {
        WaitUntil([&] { return process.state() == QProcess::NotRunning; }, ms);
        const bool ended = process.state() == QProcess::NotRunning;
        testproc::Stop(process);
        errors = process.readAllStandardError().toStdString();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The number typed into the dial window, then Enter (Dial).
    static void TypeAndDial(const std::string& window, const QString& number) {
        Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(window)});
        Run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), number});
        Run({QStringLiteral("key"), QStringLiteral("Return")});
    }

    // Enter in the window: Yes in "Time call?", OK in a message box.
    static void PressEnter(const std::string& window) {
        Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(window),
             QStringLiteral("key"), QStringLiteral("Return")});
    }

    // "Time call?" (or any Yes/No box) answered No: Tab to No, Enter.
    static void AnswerNo(const std::string& box) {
        Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(box),
             QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Return")});
    }

    std::string Trace() const {
        QFile f(dir.filePath(QStringLiteral("trace.txt")));
        f.open(QIODevice::ReadOnly);
        return f.readAll().toStdString();
    }

    QProcess process;

    QString ConfigPath() const { return dir.filePath(QStringLiteral("telephony.ini")); }

  private:
    Options options;
    QTemporaryDir dir;
};

} // namespace xdo
