// startup_bench: the dialer's start-up against two bare Qt Widgets windows built the same
// way (same compiler, flags and Qt): an empty one, and one that shows a line of text, which
// is the real floor of any window with text (it pays for the font database).
//
// Each run is a fresh process (this program re-executed with --child dialer|text|bare).
// The time runs from just before the fork until the child reports that its window is shown
// (exposed) and its event loop has gone idle; the child then ends at once, so tearing Qt
// down is not measured. Peak memory is the child's maximum resident set size as the kernel
// reports it. Instructions are counted by valgrind's callgrind (one run each, repeatable on a
// busy machine), from exec to the same point. The dialer runs on the local telephony service
// with one simulated line (a temporary configuration file). Without a display the children
// use Qt's offscreen platform.
//
// Not a test: it prints numbers and passes no judgement.
#include "bench/BenchEnvironment.h"
#include "app/DialerStartup.h"

#include "ui/qt/DialForm.h"

#include <QApplication>
#include <QLabel>
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

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using ui::qt::DialForm;

namespace {

constexpr int kRunsPerKind = 15;
constexpr int kReadyFd = 3; // the child writes one byte here when ready
const char* const kKinds[] = {"dialer", "text", "bare"};

// Reports readiness once the window is exposed and the queue has drained, then ends the
// process without tearing anything down.
void ReportWhenIdle(QWidget* window) {
    QTimer::singleShot(0, window, [window] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed()) {
            QTimer::singleShot(1, window, [window] { ReportWhenIdle(window); });
            return;
        }
        const char ready = 'r';
        if (write(kReadyFd, &ready, 1) != 1 && errno != EBADF)
            std::_Exit(3);
        std::fflush(nullptr);
        std::_Exit(0);
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
    if (kind == "text")
        (new QLabel(QStringLiteral("555-1212"), &window))->move(8, 8);
    window.show();
    ReportWhenIdle(&window);
    return application.exec();
}

struct Sample {
    double ms = 0;
    long maxRssKb = 0;
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

// Instructions executed by one child, from exec until it is ready, as callgrind counts
// them; 0 when valgrind is missing or the run failed.
double CountInstructions(const char* kind) {
    char logPath[] = "/tmp/orvodial-bench-cg-XXXXXX";
    const int logFd = mkstemp(logPath);
    if (logFd < 0)
        return 0;
    close(logFd);
    const std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
    const std::string command = "valgrind --tool=callgrind --callgrind-out-file=/dev/null --log-file=" +
                                std::string(logPath) + " " + self + " --child " + kind + " 3>/dev/null";
    double count = 0;
    if (std::system(command.c_str()) == 0) {
        if (FILE* log = std::fopen(logPath, "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, log)) {
                if (const char* at = std::strstr(line, "Collected : ")) {
                    std::string digits;
                    for (const char* p = at + 12; *p; ++p)
                        if (*p >= '0' && *p <= '9')
                            digits += *p;
                    count = std::strtod(digits.c_str(), nullptr);
                }
            }
            std::fclose(log);
        }
    }
    unlink(logPath);
    return count;
}

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argv[2], 1, argv);

    bench::BenchEnvironment environment;
    if (!environment.ok())
        return 1;

    const char* self = "/proc/self/exe";
    constexpr std::size_t kKindCount = std::size(kKinds);
    std::vector<double> ms[kKindCount];
    std::vector<long> kb[kKindCount];
    for (int i = 0; i < kRunsPerKind; ++i) { // interleaved, so all see the same machine load
        for (std::size_t k = 0; k < kKindCount; ++k) {
            Sample s;
            if (!RunOnce(self, kKinds[k], s)) {
                std::fprintf(stderr, "%s run failed\n", kKinds[k]);
                return 1;
            }
            ms[k].push_back(s.ms);
            kb[k].push_back(s.maxRssKb);
        }
    }
    double instructions[kKindCount];
    for (std::size_t k = 0; k < kKindCount; ++k)
        instructions[k] = CountInstructions(kKinds[k]);
    environment.Remove();

    const char* names[kKindCount] = {"orvodial dial window", "bare window, one text", "bare window, empty"};
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("Start-up until the window is shown and the event loop idle\n");
    std::printf("platform: %s; time and memory: median of %d runs each; instructions: callgrind\n",
                platform ? platform : "default", kRunsPerKind);
    std::printf("%-24s %10s %14s %16s\n", "", "time (ms)", "peak RSS (MiB)", "instructions (M)");
    for (std::size_t k = 0; k < kKindCount; ++k)
        std::printf("%-24s %10.1f %14.1f %16.1f\n", names[k], Median(ms[k]), Median(kb[k]) / 1024.0,
                    instructions[k] / 1e6);
    for (std::size_t floor = 1; floor < kKindCount; ++floor) {
        const double inst = instructions[floor] > 0 ? instructions[0] / instructions[floor] : 0;
        std::printf("ratio to %-15s %10.2f %14.2f %16.2f\n", floor == 1 ? "text window" : "empty window",
                    Median(ms[0]) / Median(ms[floor]),
                    static_cast<double>(Median(kb[0])) / static_cast<double>(Median(kb[floor])), inst);
    }
    return 0;
}
