// The test programs of the telephony service and its drivers: GoogleTest inside a Qt
// application, so that the service, the drivers and their peers run on one event loop.
// The application draws offscreen unless QT_QPA_PLATFORM says otherwise; that is said on
// its command line, not in the environment, so that a dialer a test starts under Xvfb
// still shows its windows there. Serial ports' lock files go to a folder of the run, not
// the system's lock directory.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::vector<char*> args(argv, argv + argc);
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        args.push_back(platform);
        args.push_back(offscreen);
    }
    int qtArgc = static_cast<int>(args.size());
    args.push_back(nullptr);
    QApplication app(qtArgc, args.data());
    QTemporaryDir locks;
    setenv("ORVODIAL_LOCK_DIR", locks.path().toUtf8().constData(), 1);
    return RUN_ALL_TESTS();
}
