// The inspection socket of the desktop test.
#include "app/InspectionSocket.h"

#include "app/InspectionAnswers.h"
#include "app/LocalSocketAccess.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocalServer>
#include <QLocalSocket>

namespace crawlmere::app {

std::unique_ptr<InspectionSocket> InspectionSocket::fromEnvironment()
{
    const QString path = qEnvironmentVariable(kEnvironmentVariable);
    if (path.isEmpty())
        return nullptr;
    auto socket = std::make_unique<InspectionSocket>();
    if (!socket->listen(path)) {
        qWarning("Crawlmere: the inspection socket cannot listen at %s", qPrintable(path));
        return nullptr;
    }
    // The keys the display delivered, so a scenario can wait until its last key was handled.
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(socket.get());
    return socket;
}

InspectionSocket::InspectionSocket(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxClients);
    connect(m_server, &QLocalServer::newConnection, this, &InspectionSocket::acceptClients);
}

InspectionSocket::~InspectionSocket() = default;

bool InspectionSocket::eventFilter(QObject* watched, QEvent* event)
{
    // A key not taken is offered to each parent in turn: counted once, by its time and key.
    if (event->type() == QEvent::KeyRelease && event->spontaneous()) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->timestamp() != m_lastKeyTimestamp || key->key() != m_lastKey) {
            m_lastKeyTimestamp = key->timestamp();
            m_lastKey = key->key();
            InspectionAnswers::noteKeyReleased();
        }
    }
    return QObject::eventFilter(watched, event);
}

bool InspectionSocket::listen(const QString& path)
{
    if (!LocalSocketAccess::clearLeftoverSocket(path)) {
        qWarning("Crawlmere: %s is in use or is not a socket left by an earlier run; it was left as it is",
            qPrintable(path));
        return false;
    }
    return m_server->listen(path);
}

void InspectionSocket::acceptClients()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        if (m_server->findChildren<QLocalSocket*>().size() > kMaxClients || !LocalSocketAccess::isOwnPeer(*client)) {
            client->disconnectFromServer();
            continue;
        }
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readRequests(client); });
        readRequests(client);
    }
}

void InspectionSocket::readRequests(QLocalSocket* client)
{
    while (client->canReadLine()) {
        const QByteArray line = client->readLine(kMaxLine + 1);
        if (!line.endsWith('\n')) {
            client->disconnectFromServer();
            return;
        }
        client->write(InspectionAnswers::answer(line.chopped(1)));
    }
    if (client->bytesAvailable() > kMaxLine)
        client->disconnectFromServer();
}

} // namespace crawlmere::app
