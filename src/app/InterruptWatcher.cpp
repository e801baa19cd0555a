// Ctrl-C through a self-pipe: the handler does nothing but write one byte.
#include "app/InterruptWatcher.h"

#include "platform/Log.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace crawlmere::app {

namespace {

int g_pipe[2] = { -1, -1 };
std::atomic<int> g_signalCount { 0 };
struct sigaction g_previous { };

extern "C" void onInterruptSignal(int)
{
    if (g_signalCount.fetch_add(1) > 0)
        _exit(130);
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
    : m_onInterrupt(std::move(onInterrupt))
{
    static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free counter");
    if (g_pipe[0] >= 0) {
        platform::logLine(1, QStringLiteral("a Ctrl-C watcher is already installed"));
        return;
    }
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        platform::logLine(
            0, QStringLiteral("cannot watch for Ctrl-C: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    g_signalCount = 0;
    struct sigaction action { };
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, &g_previous) != 0) {
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readPipe(); });
    m_active = true;
}

InterruptWatcher::~InterruptWatcher()
{
    if (!m_active)
        return;
    m_notifier.reset();
    ::sigaction(SIGINT, &g_previous, nullptr);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool InterruptWatcher::wasInterrupted() const { return m_active && g_signalCount.load() > 0; }

void InterruptWatcher::readPipe()
{
    char bytes[16];
    bool interrupted = false;
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0)
        interrupted = true;
    if (interrupted && m_onInterrupt)
        m_onInterrupt();
}

} // namespace crawlmere::app
