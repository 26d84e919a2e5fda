// Programs the tests start as peers (daemons, phones, servers): each dies with the test,
// also when the test is killed, and is stopped by its PID, bounded. Nothing is left running.
#pragma once

#include <QProcess>

#include <csignal>

#include <sys/prctl.h>

namespace testproc {

constexpr int kStopMs = 5000; // SIGTERM to exit, before SIGKILL

inline void DiesWithTheTest(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

inline void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kStopMs)) {
        process.kill();
        process.waitForFinished(kStopMs);
    }
}

} // namespace testproc
