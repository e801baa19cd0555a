// Waiting in a test for something the event loop brings about.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace crawlmere::test {

/// Serves the event loop until `done` answers true or `ms` milliseconds have passed; answers
/// `done` once more at the end. Main thread.
inline bool waitUntil(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return done();
}

} // namespace crawlmere::test
