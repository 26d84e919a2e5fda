// call_bench: the road of one call through the real dial window, timed: Enter in the number
// box -> lineMakeCallA reaches the telephony service -> the "Time call?" box is shown. The
// box is answered No at once, and the road is run again; the first dial is reported on its
// own, since it pays for what a process does once (the first message box, its style).
//
// Then it starts itself again as a child that answers one call Yes, presses Done and stays
// idle with the timing window hidden, and counts the child's wake-ups from outside over two
// spans of kIdleSeconds once the caret has come to rest: the voluntary and involuntary
// context switches of all its threads, read from /proc/PID/task/*/status. Every return
// from a poll or a timer shows there.
//
// Runs on the local telephony service with one simulated line (a temporary configuration
// file), on Qt's offscreen platform unless a display is given. Not a test: it prints
// numbers and passes no judgement.
#include "bench/BenchEnvironment.h"

#include "ui/qt/DialForm.h"
#include "telephony/mTAPIDecs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using ui::qt::DialForm;
using ui::qt::TForm;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDials = 30;
constexpr int kIdleSeconds = 20;

// Passes every operation on to the system's telephony and notes when lineMakeCallA is asked.
class StampingTapi : public mTAPIDecs::ForwardingTapi {
  public:
    using ForwardingTapi::ForwardingTapi;
    Clock::time_point makeCallAt;

    LONG lineMakeCallA(HLINE a, LPHCALL b, LPCSTR c, DWORD d, LPLINECALLPARAMS e) override {
        makeCallAt = Clock::now();
        return ForwardingTapi::lineMakeCallA(a, b, c, d, e);
    }
};

// Notes when a message box is shown and answers it with the button wanted; presses Done
// in a timing window as soon as it is shown.
class BoxAnswerer : public QObject {
  public:
    QMessageBox::StandardButton answer = QMessageBox::No;
    Clock::time_point shownAt;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            shownAt = Clock::now();
            QTimer::singleShot(0, box, [box, button = answer] { box->button(button)->click(); });
        } else if (auto* timing = qobject_cast<TForm*>(watched)) {
            QTimer::singleShot(0, timing, [timing] { timing->Command1->click(); });
        }
        return false;
    }
};

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void PressEnter(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(target, &press);
}

// Context switches of all threads of the process pid so far, or -1.
long ContextSwitches(pid_t pid) {
    long total = -1;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::FILE* status = std::fopen((tasks + "/" + entry->d_name + "/status").c_str(), "r");
        if (!status)
            continue;
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            long n = 0;
            if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &n) == 1 ||
                std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &n) == 1)
                total = (total < 0 ? 0 : total) + n;
        }
        std::fclose(status);
    }
    closedir(dir);
    return total;
}

// Starts this program as the idle child and counts its wake-ups over kIdleSeconds.
int MeasureIdle() {
    int out[2];
    if (pipe(out) != 0)
        return 1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl("/proc/self/exe", "call_bench", "--idle-child", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(out[1]);
    std::string said;
    char c = 0;
    while (said.find("idle\n") == std::string::npos && read(out[0], &c, 1) == 1)
        said += c;
    // Two spans in a row: the first still holds a timer of Qt's own that fires once, about
    // 30 s after start; the second is the idle program.
    long counts[3] = {-1, -1, -1};
    if (said.find("idle\n") != std::string::npos) {
        // Let what the call left behind settle, and the caret come to rest as it does after
        // a while without input.
        usleep((DialForm::kCaretBlinkTimeoutMs + 1000) * 1000);
        for (long& count : counts) {
            count = ContextSwitches(pid);
            if (&count != &counts[2])
                sleep(kIdleSeconds);
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(out[0]);
    if (counts[0] < 0 || counts[1] < 0 || counts[2] < 0) {
        std::fprintf(stderr, "idle child failed\n");
        return 1;
    }
    std::printf("idle with the timing window hidden: %ld wake-ups in the first %d s, %ld in the next %d s\n",
                counts[1] - counts[0], kIdleSeconds, counts[2] - counts[1], kIdleSeconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool idleChild = argc == 2 && std::strcmp(argv[1], "--idle-child") == 0;
    bench::BenchEnvironment environment;
    if (!environment.ok())
        return 1;

    // The offscreen platform says for every box that it cannot do what a window manager does.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtWarningMsg || !message.startsWith(QStringLiteral("This plugin does not support")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    auto tapi = std::make_shared<StampingTapi>(mTAPIDecs::SystemTapi());
    DialForm form([tapi] { return CvbTAPILine::New(tapi); });
    form.Load();
    environment.Remove(); // read: the idle child is ended by a signal, which skips destructors
    form.show();
    BoxAnswerer answerer;
    application.installEventFilter(&answerer);

    if (idleChild) {
        // One timed call, Done at once: then nothing but a hidden timing window is left.
        answerer.answer = QMessageBox::Yes;
        form.Text1->setEditText(QStringLiteral("555-1212"));
        form.Text1->setFocus();
        PressEnter(form.Text1->lineEdit());
        std::printf("idle\n");
        std::fflush(stdout);
        return application.exec();
    }

    std::vector<double> toMakeCall, toBox;
    for (int i = 0; i < kDials; ++i) {
        form.Text1->setEditText(QStringLiteral("555-1212"));
        form.Text1->setFocus();
        const Clock::time_point enter = Clock::now();
        PressEnter(form.Text1->lineEdit());
        toMakeCall.push_back(Ms(enter, tapi->makeCallAt));
        toBox.push_back(Ms(enter, answerer.shownAt));
    }
    const double firstMakeCall = toMakeCall.front(), firstBox = toBox.front();
    toMakeCall.erase(toMakeCall.begin());
    toBox.erase(toBox.begin());
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("The road of one call: Enter -> lineMakeCallA -> \"Time call?\" shown\n");
    std::printf("platform: %s; later dials: median of %d\n", platform ? platform : "default", kDials - 1);
    std::printf("%-24s %14s %14s\n", "", "lineMakeCallA", "box shown");
    std::printf("%-24s %11.3f ms %11.3f ms\n", "first dial", firstMakeCall, firstBox);
    std::printf("%-24s %11.3f ms %11.3f ms\n", "later dials", Median(toMakeCall), Median(toBox));
    std::fflush(stdout);
    return MeasureIdle();
}
