#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

namespace crawlmere::platform::Dispatch {

void toMain(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    Q_ASSERT_X(app, "Dispatch::toMain", "needs a QCoreApplication");
    if (!app)
        return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void toMainAfter(std::chrono::milliseconds delay, std::function<void()> work)
{
    // The timer must be made on the thread whose loop runs it, so start it from the main queue.
    toMain([delay, work = std::move(work)]() mutable {
        QTimer::singleShot(delay, QCoreApplication::instance(), std::move(work));
    });
}

void mainSync(std::function<void()> work)
{
    if (isMainThread()) {
        work();
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    Q_ASSERT_X(app, "Dispatch::mainSync", "needs a QCoreApplication");
    if (!app)
        return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::BlockingQueuedConnection);
}

void toGlobal(std::function<void()> work)
{
    QThreadPool::globalInstance()->start(QRunnable::create(std::move(work)));
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!condition())
            QThread::msleep(1);
    }
    return true;
}

void runFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace crawlmere::platform::Dispatch
