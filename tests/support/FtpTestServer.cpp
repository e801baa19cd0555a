// An FTP server on 127.0.0.1 for upload tests, run by Debian's python3 with pyftpdlib.
#include "support/FtpTestServer.h"

#include <QDir>
#include <QFile>

namespace crawlmere::test {

namespace {

// argv: root, log file, and for TLS the certificate file to make. Prints the port, then serves
// until killed.
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
if len(sys.argv) > 3:
    from OpenSSL import crypto
    from pyftpdlib.handlers import TLS_FTPHandler, TLS_DTPHandler
    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.get_subject().CN = "127.0.0.1"
    cert.set_serial_number(1)
    cert.gmtime_adj_notBefore(0)
    cert.gmtime_adj_notAfter(86400)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.sign(key, "sha256")
    with open(sys.argv[3], "wb") as pem:
        pem.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
        pem.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))

    class DataChannel(TLS_DTPHandler):
        # The stock data channel closes itself when polled before a transfer command has
        # arrived, so a client that starts TLS on the data connection at once (as libcurl
        # does) is cut off mid-handshake. Wait for the handshake, then for the command.
        def readable(self):
            if not self.receive and not self._initialized:
                return not self._ssl_established or self._ssl_want_read
            return super().readable()

    handler = TLS_FTPHandler
    handler.certfile = sys.argv[3]
    handler.dtp_handler = DataChannel
    handler.tls_control_required = True
    handler.tls_data_required = True
handler.authorizer = auth
handler.passive_ports = None
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
)PY";

} // namespace

FtpTestServer::FtpTestServer(Security security)
{
    QDir().mkpath(root());
    QStringList arguments { QStringLiteral("-c"), QString::fromLatin1(kServerScript), root(),
        m_dir.filePath(QStringLiteral("log")) };
    if (security == Security::Tls)
        arguments << m_dir.filePath(QStringLiteral("server.pem"));
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
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
