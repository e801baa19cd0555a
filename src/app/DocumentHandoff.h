// Hands the documents of a second windowed start to the program already running for the same
// user and defaults folder, and receives them in that program.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace crawlmere::app {

/// One program per user and defaults folder keeps a local socket open under `serverName`. A
/// second start with documents sends them there (`sendToRunningProgram`) and ends; the first
/// opens them in turn as they arrive. Documents travel percent-encoded, one a line, ended by an
/// empty line, answered "ok". A connection with a line longer than `kMaxBytes`, more than
/// `kMaxDocuments` documents, or unfinished after `kTimeoutMs` is dropped and opens nothing.
/// Main thread only.
class DocumentHandoff final : public QObject {
public:
    static constexpr qint64 kMaxBytes = 1 << 20;
    static constexpr qsizetype kMaxDocuments = 1000;
    static constexpr int kTimeoutMs = 5000;

    explicit DocumentHandoff(QObject* parent = nullptr);
    ~DocumentHandoff() override;

    /// "crawlmere-" with the user's id and a digest of the defaults folder in force, so a run
    /// with its own `CRAWLMERE_HOME` (every test) never meets the user's program; in the
    /// user's private socket folder (`LocalSocketAccess::privateFolder`) when there is one.
    /// Either side checks that the other runs as the same user before sending or taking anything.
    static QString serverName();
    /// Sends `documents` (absolute paths or URL strings) to the program listening under `name`;
    /// true once it has confirmed them. False at once when none listens. Blocks at most
    /// `kTimeoutMs`; needs a QCoreApplication.
    static bool sendToRunningProgram(const QStringList& documents, const QString& name = serverName());
    /// Listens under `name`, only for this user. A socket this user left behind in a program
    /// that ended is removed first; false when a running program answers under the name,
    /// something else is in the way, or listening fails. Each document received goes to `open` on a later turn of the
    /// event loop, in order. `open` must stay callable while this object lives.
    bool listen(std::function<void(const QString&)> open, const QString& name = serverName());
    bool isListening() const { return m_server.isListening(); }
    /// Why starts of this user's program cannot reach each other when another user is in the
    /// way: the private socket folder is unfit and another user holds `name` in its stead.
    /// Null when nobody else is in the way.
    static QString obstacle(const QString& name = serverName());

private:
    void accept();

    QLocalServer m_server;
    std::function<void(const QString&)> m_open;
};

} // namespace crawlmere::app
