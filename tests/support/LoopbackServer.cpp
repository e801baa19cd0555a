#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace crawlmere::test {

LoopbackServer::LoopbackServer()
{
    m_server.set_keep_alive_max_count(100);
    m_server.set_read_timeout(5, 0);
    m_server.set_write_timeout(5, 0);
}

LoopbackServer::~LoopbackServer() { stop(); }

bool LoopbackServer::start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return false;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // The socket listens from bind on, so early connections are queued; but stop() does nothing
    // until the server loop runs, so wait for it here (bounded: 10 s).
    for (int i = 0; i < 10000 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void LoopbackServer::stop()
{
    if (m_thread.joinable()) {
        m_server.stop();
        shutDownConnectionsAcceptedOn(m_port);
        m_thread.join();
    }
}

QString LoopbackServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void shutDownConnectionsAcceptedOn(int port)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        // A copy of the descriptor holds its socket while it is looked at: the server may close
        // the original meanwhile, and its number go to another file.
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            continue;
        sockaddr_in local {};
        socklen_t localLength = sizeof local;
        sockaddr_in peer {};
        socklen_t peerLength = sizeof peer;
        if (::getsockname(copy, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 && local.sin_family == AF_INET
            && ntohs(local.sin_port) == port
            && ::getpeername(copy, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
            ::shutdown(copy, SHUT_RDWR);
        ::close(copy);
    }
}

} // namespace crawlmere::test
