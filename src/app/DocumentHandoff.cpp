// Documents handed from a second start to the running program over a local socket.
#include "app/DocumentHandoff.h"

#include "app/LocalSocketAccess.h"

#include "platform/Log.h"
#include "platform/Paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::app {

namespace {

// Every complete line of `socket`'s buffer; true once the empty line that ends a message came.
bool readDocuments(QLocalSocket& socket, QStringList& documents)
{
    while (socket.canReadLine()) {
        const QByteArray line = socket.readLine().chopped(1);
        if (line.isEmpty())
            return true;
        documents << QUrl::fromPercentEncoding(line);
    }
    return false;
}

} // namespace

DocumentHandoff::DocumentHandoff(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &DocumentHandoff::accept);
}

DocumentHandoff::~DocumentHandoff() { m_server.close(); }

QString DocumentHandoff::serverName()
{
    const QByteArray folder = QDir::cleanPath(platform::Paths::configFolder()).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16);
    const QString name
        = QStringLiteral("crawlmere-%1-%2").arg(QString::number(::geteuid()), QString::fromLatin1(digest));
    const QString privateFolder = LocalSocketAccess::privateFolder();
    return privateFolder.isNull() ? name : privateFolder + QLatin1Char('/') + name;
}

bool DocumentHandoff::sendToRunningProgram(const QStringList& documents, const QString& name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    if (!LocalSocketAccess::isOwnPeer(socket)) {
        platform::logLine(
            0, QStringLiteral("The program listening at %1 runs as another user: nothing sent").arg(name));
        return false;
    }
    QByteArray message;
    for (const QString& document : documents)
        message += QUrl::toPercentEncoding(document) + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kTimeoutMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

bool DocumentHandoff::listen(std::function<void(const QString&)> open, const QString& name)
{
    m_open = std::move(open);
    m_server.close();
    // Listening with access options puts a new socket over any file of the name, a live
    // program's too: ask first. A socket nobody answers is left from a program that ended.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        probe.abort();
        return false;
    }
    const QString path = QDir::isAbsolutePath(name) ? name : QDir::tempPath() + QLatin1Char('/') + name;
    if (!LocalSocketAccess::clearLeftoverSocket(path)) {
        platform::logLine(
            0, QStringLiteral("Not listening for documents: %1 is not a socket this user left").arg(path));
        return false;
    }
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(name);
}

QString DocumentHandoff::obstacle(const QString& name)
{
    // In the private folder nobody else can take the name. Without it the name lives in the
    // temporary folder, where another user may have put something in its place.
    QString unfit;
    if (!LocalSocketAccess::privateFolder(&unfit).isNull() || unfit.isNull())
        return {};
    const QString path = QDir::isAbsolutePath(name) ? name : QDir::tempPath() + QLatin1Char('/') + name;
    struct stat status { };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || status.st_uid == ::geteuid())
        return {};
    return QStringLiteral("%1, and %2 belongs to another user (uid %3)")
        .arg(unfit, path, QString::number(status.st_uid));
}

void DocumentHandoff::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!LocalSocketAccess::isOwnPeer(*socket)) {
            platform::logLine(0, QStringLiteral("Refused documents from a program of another user"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] { socket->abort(); });
        timeout->start(kTimeoutMs);
        auto documents = std::make_shared<QStringList>();
        const auto read = [this, socket, documents] {
            if (socket->bytesAvailable() > kMaxBytes) {
                socket->abort();
                return;
            }
            const bool complete = readDocuments(*socket, *documents);
            if (documents->size() > kMaxDocuments) {
                socket->abort();
                return;
            }
            if (!complete)
                return;
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            QPointer<DocumentHandoff> self = this;
            for (const QString& document : std::as_const(*documents)) {
                platform::logLine(1, QStringLiteral("Document from another start: %1").arg(document));
                QTimer::singleShot(0, this, [self, document] {
                    if (self && self->m_open)
                        self->m_open(document);
                });
            }
            documents->clear();
        };
        connect(socket, &QLocalSocket::readyRead, socket, read);
        read();
    }
}

} // namespace crawlmere::app
