// The inspection socket of the desktop test: a local socket answering line requests about the
// running program's widgets, opened only when the environment names its path.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

namespace crawlmere::app {

/// Listens on the local socket `path` (owner access only) and answers each request line with
/// `InspectionAnswers::answer`. At most `kMaxClients` connections at once (more are closed at
/// once); a line longer than `kMaxLine` closes its connection. Main thread only; lives until
/// the program ends.
class InspectionSocket final : public QObject {
    Q_OBJECT
public:
    /// The environment variable that switches the socket on; its value is the socket's path.
    static inline constexpr const char* kEnvironmentVariable = "CRAWLMERE_TEST_INSPECT";
    static constexpr int kMaxClients = 4;
    static constexpr qsizetype kMaxLine = 4096;

    /// The socket when `kEnvironmentVariable` names a path and listening there succeeds, else
    /// null (and a warning when listening failed). Off by default: without the variable
    /// nothing listens.
    static std::unique_ptr<InspectionSocket> fromEnvironment();

    explicit InspectionSocket(QObject* parent = nullptr);
    ~InspectionSocket() override;

    /// Starts listening on `path`; false on failure. Only a socket of this user nobody answers
    /// on (left by an earlier run) is removed there first: anything else at `path` is left as it
    /// is and nothing listens. Connections from other users are closed at once.
    bool listen(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void acceptClients();
    void readRequests(QLocalSocket* client);

    QLocalServer* m_server = nullptr;
    quint64 m_lastKeyTimestamp = 0;
    int m_lastKey = 0;
};

} // namespace crawlmere::app
