#include "support/LoopbackServer.h"

#include <chrono>

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
        m_thread.join();
    }
}

QString LoopbackServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

} // namespace crawlmere::test
