// The pipe on descriptor 2, its reader thread and the main-thread decoding and line filter.
#include "app/ConsoleCapture.h"

#include "platform/Log.h"

#include <QFile>
#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace crawlmere::app {

namespace {

void closeDescriptor(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

/// How long a write to the terminal may wait for room before its bytes are dropped there.
constexpr int kTerminalWaitMs = 200;

/// Writes `size` bytes to `fd`, waiting at most `kTerminalWaitMs` each time it has no room (a
/// terminal scrolled back, a pipe nobody reads). Async-signal-safe.
void writeWithoutHanging(int fd, const char* data, size_t size)
{
    while (size > 0) {
        pollfd room { fd, POLLOUT, 0 };
        const int ready = ::poll(&room, 1, kTerminalWaitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return;
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= size_t(written);
    }
}

// What a fatal signal's handler needs, set while a capture runs (-1 otherwise).
std::atomic<int> g_pipeRead { -1 };
std::atomic<int> g_terminal { -1 };
std::atomic<int> g_log { -1 };
// Set by the reader while it holds bytes it has read but not yet passed on.
std::atomic<bool> g_readerBusy { false };
constexpr int kFatalSignals[] = { SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE };
struct sigaction g_previousActions[std::size(kFatalSignals)] { };
std::atomic<bool> g_exitHookInstalled { false };

/// Hands what is still in the pipe to the terminal and the log, raw, and puts the terminal back
/// on descriptor 2 so that whatever follows goes straight there. Async-signal-safe.
void drainToOutputs()
{
    const int terminal = g_terminal.exchange(-1);
    if (terminal < 0)
        return;
    ::dup2(terminal, STDERR_FILENO);
    // The reader may hold the last bytes: it passes them on within moments.
    for (int i = 0; i < 100 && g_readerBusy.load(); ++i) {
        timespec pause { 0, 2'000'000 };
        ::nanosleep(&pause, nullptr);
    }
    const int pipe = g_pipeRead.load();
    const int log = g_log.load();
    char buffer[4096];
    ssize_t count = 0;
    while (pipe >= 0 && (count = ::read(pipe, buffer, sizeof buffer)) > 0) {
        writeWithoutHanging(terminal, buffer, size_t(count));
        if (log >= 0)
            writeWithoutHanging(log, buffer, size_t(count));
    }
}

extern "C" void onFatalSignal(int signal)
{
    drainToOutputs();
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) {
        if (kFatalSignals[i] == signal)
            ::sigaction(signal, &g_previousActions[i], nullptr);
    }
    // Delivered again, to the handler before this one, once this one returns.
    ::raise(signal);
}

extern "C" void onExit() { drainToOutputs(); }

} // namespace

ConsoleCapture::ConsoleCapture(QObject* parent)
    : QObject(parent)
{
}

ConsoleCapture::~ConsoleCapture() { stop(); }

const QStringList& ConsoleCapture::noiseTexts()
{
    static const QStringList texts { QStringLiteral("extractOptions:"), QStringLiteral("TIC Read Status"),
        QStringLiteral("HTTP load failed"), QStringLiteral("finished with error"), QStringLiteral("SPDY protocol"),
        QStringLiteral("nw_"), QStringLiteral("tcp_"), QStringLiteral("TCP Conn Failed"),
        QStringLiteral("nw_connection"), QStringLiteral("unable to determine interface"),
        QStringLiteral("received failure notification"), QStringLiteral("failed to connect"),
        QStringLiteral("encountered error"), QStringLiteral("boringssl") };
    return texts;
}

bool ConsoleCapture::isNoise(QStringView line)
{
    for (const QString& text : noiseTexts())
        if (line.contains(text))
            return true;
    return false;
}

bool ConsoleCapture::start()
{
    if (isRunning())
        return false;
    int data[2];
    int wake[2];
    if (::pipe2(data, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        ::close(data[0]);
        ::close(data[1]);
        return false;
    }
    m_savedStderr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (m_savedStderr < 0 || ::dup2(data[1], STDERR_FILENO) < 0) {
        for (int fd : { data[0], data[1], wake[0], wake[1] })
            ::close(fd);
        closeDescriptor(m_savedStderr);
        return false;
    }
    ::close(data[1]);
    // Read only when poll says so, and drained without waiting by a fatal signal's handler.
    ::fcntl(data[0], F_SETFL, ::fcntl(data[0], F_GETFL) | O_NONBLOCK);
    m_readFd = data[0];
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    if (!m_logFile.isEmpty())
        m_logFd = ::open(QFile::encodeName(m_logFile).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    g_pipeRead = m_readFd;
    g_log = m_logFd;
    g_terminal = m_savedStderr;
    struct sigaction action { };
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        ::sigaction(kFatalSignals[i], &action, &g_previousActions[i]);
    if (!g_exitHookInstalled.exchange(true))
        std::atexit(onExit);
    m_reader = std::thread([this] { readLoop(); });
    return true;
}

void ConsoleCapture::readLoop()
{
    QByteArray buffer(kReadSize, Qt::Uninitialized);
    pollfd fds[2] = { { m_readFd, POLLIN, 0 }, { m_wakeRead, POLLIN, 0 } };
    bool stopping = false;
    for (;;) {
        if (!stopping) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents != 0) {
                // Take what is already in the pipe, without waiting for writers still holding it.
                stopping = true;
            } else if (fds[0].revents == 0) {
                continue;
            }
        }
        g_readerBusy = true;
        const ssize_t count = ::read(m_readFd, buffer.data(), size_t(kReadSize));
        if (count < 0 && (errno == EINTR || (errno == EAGAIN && !stopping))) {
            g_readerBusy = false;
            continue;
        }
        if (count <= 0) {
            g_readerBusy = false;
            return; // end of file, drained when stopping, or a read error
        }
        passOn(buffer.left(count), count == kReadSize);
        g_readerBusy = false;
        bool post = false;
        {
            const std::lock_guard lock(m_mutex);
            post = !m_pending.empty() && !m_deliveryPosted;
            m_deliveryPosted = m_deliveryPosted || post;
        }
        if (post && !stopping)
            QMetaObject::invokeMethod(this, &ConsoleCapture::deliverPending, Qt::QueuedConnection);
    }
}

void ConsoleCapture::passOn(const QByteArray& bytes, bool full)
{
    if (m_savedStderr >= 0)
        writeWithoutHanging(m_savedStderr, bytes.constData(), size_t(bytes.size()));
    const QString shown = filtered(m_decoder.decode(bytes), full);
    if (shown.isEmpty())
        return;
    appendToLog(shown);
    const std::lock_guard lock(m_mutex);
    if (m_pendingBytes + shown.size() > kPendingCap) {
        m_droppedBytes += bytes.size();
        return;
    }
    m_pending.push_back(shown);
    m_pendingBytes += shown.size();
}

void ConsoleCapture::appendToLog(const QString& text) const
{
    if (m_logFd < 0)
        return;
    const QByteArray bytes = text.toUtf8();
    writeWithoutHanging(m_logFd, bytes.constData(), size_t(bytes.size()));
}

void ConsoleCapture::deliverPending()
{
    std::deque<QString> texts;
    qsizetype dropped = 0;
    {
        const std::lock_guard lock(m_mutex);
        texts.swap(m_pending);
        m_pendingBytes = 0;
        dropped = std::exchange(m_droppedBytes, 0);
        m_deliveryPosted = false;
    }
    QString shown;
    for (const QString& text : texts)
        shown += text;
    if (dropped > 0)
        shown += QStringLiteral("(%1 bytes of output not shown)\n").arg(dropped);
    if (!shown.isEmpty())
        Q_EMIT textAppended(shown);
}

QString ConsoleCapture::filtered(const QString& decoded, bool moreComing)
{
    QString text = m_unfinishedLine + decoded;
    m_unfinishedLine.clear();
    QString shown;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
        if (newline < 0 && moreComing) {
            m_unfinishedLine = text.mid(start);
            break;
        }
        const qsizetype end = newline < 0 ? text.size() : newline + 1;
        const QStringView line = QStringView(text).sliced(start, end - start);
        if (!isNoise(line))
            shown += line;
        start = end;
    }
    return shown;
}

void ConsoleCapture::stop()
{
    if (!isRunning())
        return;
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        ::sigaction(kFatalSignals[i], &g_previousActions[i], nullptr);
    g_terminal = -1;
    ::dup2(m_savedStderr, STDERR_FILENO);
    const char wake = 1;
    while (::write(m_wakeWrite, &wake, 1) < 0 && errno == EINTR) {
    }
    m_reader.join();
    g_pipeRead = -1;
    g_log = -1;
    closeDescriptor(m_savedStderr);
    for (int* fd : { &m_readFd, &m_wakeRead, &m_wakeWrite })
        closeDescriptor(*fd);
    // What the reader took last, then any unfinished line; a character cut off by the end of
    // the output is dropped.
    deliverPending();
    const QString rest = filtered(QString(), false);
    m_decoder.resetState();
    if (!rest.isEmpty()) {
        appendToLog(rest);
        Q_EMIT textAppended(rest);
    }
    closeDescriptor(m_logFd);
}

bool ConsoleCapture::appendToFile(const QString& text, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = text.toUtf8();
    return file.write(bytes) == bytes.size();
}

} // namespace crawlmere::app
