// startup_bench: how long the dialer takes to start and how much memory it needs, side by
// side with a bare Qt Widgets window built the same way (same compiler, flags and Qt).
//
// Each run is a fresh process (this program re-executed with --child dialer|bare). The
// time runs from just before the fork until the child reports that its window is shown
// (exposed) and its event loop has gone idle; the child then quits. Peak memory is the
// child's maximum resident set size as the kernel reports it at exit. The dialer runs on
// the local telephony service with one simulated line (a temporary configuration file).
// Without a display the children use Qt's offscreen platform.
//
// Not a test: it prints numbers and passes no judgement.
#include "DialerStartup.h"

#include <DialForm.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kRunsPerKind = 15;
constexpr int kReadyFd = 3; // the child writes one byte here when ready

// Reports readiness once the window is exposed and the queue has drained.
void ReportWhenIdle(QWidget* window) {
    QTimer::singleShot(0, window, [window] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed()) {
            QTimer::singleShot(1, window, [window] { ReportWhenIdle(window); });
            return;
        }
        const char ready = 'r';
        if (write(kReadyFd, &ready, 1) != 1)
            std::_Exit(3);
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
}

int RunChild(const std::string& kind, int argc, char** argv) {
    QApplication application(argc, argv);
    if (kind == "dialer") {
        app::SetUpApplication();
        std::unique_ptr<DialForm> form = app::CreateDialWindow();
        if (!form)
            return 2;
        form->show();
        ReportWhenIdle(form.get());
        return application.exec();
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(202, 275);
    window.show();
    ReportWhenIdle(&window);
    return application.exec();
}

struct Sample {
    double ms;
    long maxRssKb;
};

bool RunOnce(const char* self, const char* kind, Sample& sample) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (fds[1] != kReadyFd) {
            dup2(fds[1], kReadyFd);
            close(fds[1]);
        }
        execl(self, self, "--child", kind, static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(fds[1]);
    char byte = 0;
    const bool ready = read(fds[0], &byte, 1) == 1;
    const auto readyAt = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!ready || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    sample.ms = std::chrono::duration<double, std::milli>(readyAt - start).count();
    sample.maxRssKb = usage.ru_maxrss;
    return true;
}

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argv[2], 1, argv);

    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char configPath[] = "/tmp/orvodial-bench-XXXXXX";
    const int configFd = mkstemp(configPath);
    if (configFd < 0)
        return 1;
    const std::string config = "[line0]\ndriver=simulated\nname=Simulated line\n";
    if (write(configFd, config.data(), config.size()) != static_cast<ssize_t>(config.size()))
        return 1;
    close(configFd);
    setenv("ORVODIAL_TELEPHONY_CONFIG", configPath, 1);
    unsetenv("ORVODIAL_TAPI_TRACE");

    const char* self = "/proc/self/exe";
    std::vector<Sample> dialer, bare;
    for (int i = 0; i < kRunsPerKind; ++i) { // interleaved, so both see the same machine load
        Sample s{};
        if (!RunOnce(self, "dialer", s)) {
            std::fprintf(stderr, "dialer run failed\n");
            unlink(configPath);
            return 1;
        }
        dialer.push_back(s);
        if (!RunOnce(self, "bare", s)) {
            std::fprintf(stderr, "bare window run failed\n");
            unlink(configPath);
            return 1;
        }
        bare.push_back(s);
    }
    unlink(configPath);

    auto ms = [](const std::vector<Sample>& v) {
        std::vector<double> out;
        for (const Sample& s : v)
            out.push_back(s.ms);
        return out;
    };
    auto rss = [](const std::vector<Sample>& v) {
        std::vector<long> out;
        for (const Sample& s : v)
            out.push_back(s.maxRssKb);
        return out;
    };
    const double dMs = Median(ms(dialer)), bMs = Median(ms(bare));
    const long dKb = Median(rss(dialer)), bKb = Median(rss(bare));
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("Start-up until the window is shown and the event loop idle; median of %d runs each\n",
                kRunsPerKind);
    std::printf("platform: %s\n", platform ? platform : "default");
    std::printf("%-22s %10s %14s\n", "", "time (ms)", "peak RSS (MiB)");
    std::printf("%-22s %10.1f %14.1f\n", "orvodial dial window", dMs, dKb / 1024.0);
    std::printf("%-22s %10.1f %14.1f\n", "bare Qt widgets window", bMs, bKb / 1024.0);
    std::printf("%-22s %10.2f %14.2f\n", "ratio", dMs / bMs,
                static_cast<double>(dKb) / static_cast<double>(bKb));
    return 0;
}
