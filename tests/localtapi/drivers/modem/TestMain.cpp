// The modem tests run the driver and the simulator on one Qt event loop.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The ports' lock files go to a folder of the run, not the system's lock directory.
    QTemporaryDir locks;
    setenv("ORVODIAL_LOCK_DIR", locks.path().toUtf8().constData(), 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
