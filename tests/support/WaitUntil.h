// Waiting in a test for something the event loop brings about.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace crawlmere::test {

/// Serves the event loop until `done` answers true or `ms` milliseconds have passed. Answers
/// true as soon as `done` does, so a state that lasts only a moment counts once seen; past the
/// time, answers `done` once more. Main thread.
inline bool waitUntil(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return done();
}

} // namespace crawlmere::test
