#include "support/RawSocketServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace crawlmere::test {

namespace {
    constexpr int kPollStepMilliseconds = 20;
}

QByteArray RawConnection::readRequest()
{
    QByteArray data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    qsizetype headEnd = -1;
    qint64 bodyLength = 0;
    while (!m_server.stopping() && std::chrono::steady_clock::now() < deadline && data.size() < 1024 * 1024) {
        if (headEnd < 0) {
            headEnd = data.indexOf("\r\n\r\n");
            if (headEnd >= 0) {
                const QByteArray lower = data.left(headEnd).toLower();
                const qsizetype at = lower.indexOf("\r\ncontent-length:");
                if (at >= 0) {
                    const qsizetype lineEnd = lower.indexOf("\r\n", at + 2);
                    bodyLength = lower.mid(at + 17, lineEnd < 0 ? -1 : lineEnd - at - 17).trimmed().toLongLong();
                }
            }
        }
        if (headEnd >= 0 && data.size() >= headEnd + 4 + bodyLength)
            return data;
        pollfd descriptor { m_socket, POLLIN, 0 };
        if (::poll(&descriptor, 1, kPollStepMilliseconds) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        data.append(buffer, got);
    }
    return {};
}

bool RawConnection::send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_socket, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

void RawConnection::close() { ::shutdown(m_socket, SHUT_RDWR); }

void RawConnection::hold(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!m_server.stopping() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollStepMilliseconds));
}

bool RawConnection::waitUntilClosed(std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!m_server.stopping() && std::chrono::steady_clock::now() < deadline) {
        pollfd descriptor { m_socket, POLLIN, 0 };
        if (::poll(&descriptor, 1, kPollStepMilliseconds) <= 0)
            continue;
        char buffer[4096];
        if (::recv(m_socket, buffer, sizeof buffer, 0) <= 0)
            return true;
    }
    return false;
}

RawSocketServer::RawSocketServer(Handler handler)
    : m_handler(std::move(handler))
{
}

RawSocketServer::~RawSocketServer() { stop(); }

bool RawSocketServer::start()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0)
        return false;
    int yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 128) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void RawSocketServer::acceptLoop()
{
    while (!m_stopping) {
        pollfd descriptor { m_listener, POLLIN, 0 };
        if (::poll(&descriptor, 1, kPollStepMilliseconds) <= 0)
            continue;
        const int socket = ::accept(m_listener, nullptr, nullptr);
        if (socket < 0)
            continue;
        ++m_accepted;
        std::lock_guard lock(m_mutex);
        m_sockets.push_back(socket);
        m_connectionThreads.emplace_back([this, socket] {
            RawConnection connection(*this, socket);
            m_handler(connection);
            ::shutdown(socket, SHUT_RDWR);
        });
    }
}

void RawSocketServer::stop()
{
    if (!m_acceptThread.joinable())
        return;
    m_stopping = true;
    m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_connectionThreads);
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int socket : m_sockets)
        ::close(socket);
    m_sockets.clear();
    ::close(m_listener);
    m_listener = -1;
}

QString RawSocketServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

} // namespace crawlmere::test
