// An FTP server on 127.0.0.1 for upload tests: Debian's python3 running pyftpdlib over a
// temporary root.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace crawlmere::test {

/// Starts on construction on a free port; stops on destruction. One user "user" with the
/// password "secret" may write into `root()`. With `Security::Tls` the server holds a
/// self-signed certificate made at start and requires TLS on the control and data connections
/// (explicit FTPS). Main thread only.
class FtpTestServer {
public:
    enum class Security { Plain, Tls };

    explicit FtpTestServer(Security security = Security::Plain);
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    /// 0 when the server did not start (pyftpdlib missing, for one).
    int port() const { return m_port; }
    /// The folder the user's uploads land in.
    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    /// Every command line the server has received so far, one a line (passwords masked).
    QString commandLog();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace crawlmere::test
