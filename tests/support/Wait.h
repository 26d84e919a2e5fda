// Waiting in the tests, with no fixed sleep: WaitUntil runs the event loop until a
// condition holds, bounded; Settle runs what the loop has to do now (posted events, timers
// that are due) until nothing is left, for checks that something does not happen.
#pragma once

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <functional>

// Runs the event loop until done holds (true) or ms have passed (false).
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// Runs every event and due timer there is, and what they post in turn, until the loop is
// idle (bounded: 3 s).
inline void Settle() {
    const QDeadlineTimer deadline(3000);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QCoreApplication::sendPostedEvents();
    while (dispatcher != nullptr && dispatcher->processEvents(QEventLoop::AllEvents) && !deadline.hasExpired()) {
    }
}
