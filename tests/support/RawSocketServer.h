// A TCP server on 127.0.0.1 for tests that need what an HTTP library will not produce: stalls,
// dropped connections, malformed heads. Each connection runs a handler on a thread of its own.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace crawlmere::test {

class RawSocketServer;

/// One accepted connection, handed to the handler. Every wait ends when the server stops.
class RawConnection {
public:
    RawConnection(RawSocketServer& server, int socket)
        : m_server(server)
        , m_socket(socket)
    {
    }

    /// Reads one request head (and a body of its `Content-Length`); empty when the peer closed
    /// or nothing complete arrived within five seconds.
    QByteArray readRequest();
    bool send(const QByteArray& bytes);
    /// Closes the connection at once.
    void close();
    /// Keeps the connection open, sending nothing, until the server stops or `duration` passes.
    void hold(std::chrono::milliseconds duration);
    /// Reads and drops what comes until the peer closes the connection (true) or the server
    /// stops or `bound` passes (false).
    bool waitUntilClosed(std::chrono::milliseconds bound);

private:
    RawSocketServer& m_server;
    int m_socket;
};

class RawSocketServer {
public:
    using Handler = std::function<void(RawConnection&)>;

    explicit RawSocketServer(Handler handler);
    ~RawSocketServer();
    RawSocketServer(const RawSocketServer&) = delete;
    RawSocketServer& operator=(const RawSocketServer&) = delete;

    /// Binds an ephemeral port on 127.0.0.1 and accepts on a background thread.
    bool start();
    /// Ends every wait of every connection, closes the sockets and joins all threads.
    void stop();

    int port() const { return m_port; }
    QString url(const QString& path = QStringLiteral("/")) const;
    int connectionsAccepted() const { return m_accepted.load(); }
    bool stopping() const { return m_stopping.load(); }

private:
    void acceptLoop();

    Handler m_handler;
    int m_listener = -1;
    int m_port = -1;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_accepted { 0 };
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::vector<std::thread> m_connectionThreads;
    std::vector<int> m_sockets;
};

/// A handler that reads the request and answers nothing, holding the connection for `duration`.
inline RawSocketServer::Handler silentHandler(std::chrono::milliseconds duration)
{
    return [duration](RawConnection& connection) {
        connection.readRequest();
        connection.hold(duration);
    };
}

} // namespace crawlmere::test
