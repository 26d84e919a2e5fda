// The SIP driver's tests run the driver (its SIP stack on the GLib loop Qt runs) and the
// peers' control connections on one Qt event loop.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
