// The pipe on descriptor 2, its reader thread and the main-thread decoding and line filter.
#include "app/ConsoleCapture.h"

#include "platform/Log.h"

#include <QFile>
#include <QMetaObject>

#include <cerrno>
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
    m_readFd = data[0];
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
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
                ::fcntl(m_readFd, F_SETFL, ::fcntl(m_readFd, F_GETFL) | O_NONBLOCK);
            } else if (fds[0].revents == 0) {
                continue;
            }
        }
        const ssize_t count = ::read(m_readFd, buffer.data(), size_t(kReadSize));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return; // end of file, drained when stopping, or a read error
        bool post = false;
        {
            const std::lock_guard lock(m_mutex);
            if (m_pendingBytes + count > kPendingCap) {
                m_droppedBytes += count;
            } else {
                m_pending.push_back({ buffer.left(count), count == kReadSize });
                m_pendingBytes += count;
            }
            post = !m_deliveryPosted;
            m_deliveryPosted = true;
        }
        if (post && !stopping)
            QMetaObject::invokeMethod(this, &ConsoleCapture::deliverPending, Qt::QueuedConnection);
    }
}

void ConsoleCapture::deliverPending()
{
    std::deque<Chunk> chunks;
    qsizetype dropped = 0;
    {
        const std::lock_guard lock(m_mutex);
        chunks.swap(m_pending);
        m_pendingBytes = 0;
        dropped = std::exchange(m_droppedBytes, 0);
        m_deliveryPosted = false;
    }
    QString shown;
    for (const Chunk& chunk : chunks)
        shown += filtered(m_decoder.decode(chunk.bytes), chunk.full);
    if (dropped > 0)
        shown += QStringLiteral("(%1 bytes of output not shown)\n").arg(dropped);
    if (shown.isEmpty())
        return;
    if (!m_logFile.isEmpty())
        appendToFile(shown, m_logFile);
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
    ::dup2(m_savedStderr, STDERR_FILENO);
    closeDescriptor(m_savedStderr);
    const char wake = 1;
    while (::write(m_wakeWrite, &wake, 1) < 0 && errno == EINTR) {
    }
    m_reader.join();
    for (int* fd : { &m_readFd, &m_wakeRead, &m_wakeWrite })
        closeDescriptor(*fd);
    // What the reader took last, then any unfinished line; a character cut off by the end of
    // the output is dropped.
    deliverPending();
    const QString rest = filtered(QString(), false);
    m_decoder.resetState();
    if (!rest.isEmpty()) {
        if (!m_logFile.isEmpty())
            appendToFile(rest, m_logFile);
        Q_EMIT textAppended(rest);
    }
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
