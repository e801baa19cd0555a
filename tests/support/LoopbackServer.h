// An HTTP server on 127.0.0.1 for tests: canned routes on a background thread, an ephemeral
// port, stopped and joined when the object goes away.
#pragma once

#include <httplib.h>

#include <QString>

#include <thread>

namespace crawlmere::test {

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    /// Routes are added here before `start()`.
    httplib::Server& server() { return m_server; }

    /// Binds an ephemeral port on 127.0.0.1 and serves on a background thread.
    /// Returns false when no port could be bound.
    bool start();
    /// Stops listening, closes the connections kept alive for more requests (which the server
    /// would otherwise wait out for seconds) and joins the server's thread.
    void stop();

    int port() const { return m_port; }
    /// "http://127.0.0.1:PORT" followed by `path`.
    QString url(const QString& path = QStringLiteral("/")) const;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
};

/// Shuts down every connection of this process that a server listening on 127.0.0.1:`port`
/// accepted, so that its worker, idle or not, ends at once. For a server stopped already.
void shutDownConnectionsAcceptedOn(int port);

} // namespace crawlmere::test
