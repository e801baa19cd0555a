// An FTP server on 127.0.0.1 for upload tests, run by Debian's python3 with pyftpdlib.
#include "support/FtpTestServer.h"

#include <QDir>
#include <QFile>

namespace crawlmere::test {

namespace {

// argv: root, log file. Prints the port, then serves until killed.
const char* const kServerScript = R"PY(
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
root, log = sys.argv[1], sys.argv[2]
logging.basicConfig(filename=log, level=logging.DEBUG)
auth = DummyAuthorizer()
auth.add_user("user", "secret", root, perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = auth
handler.passive_ports = None
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
)PY";

} // namespace

FtpTestServer::FtpTestServer()
{
    QDir().mkpath(root());
    m_process.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"), QString::fromLatin1(kServerScript), root(), m_dir.filePath(QStringLiteral("log")) });
    if (!m_process.waitForReadyRead(20000))
        return;
    m_port = m_process.readLine().trimmed().toInt();
}

FtpTestServer::~FtpTestServer()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString FtpTestServer::commandLog()
{
    QFile log(m_dir.filePath(QStringLiteral("log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

} // namespace crawlmere::test
