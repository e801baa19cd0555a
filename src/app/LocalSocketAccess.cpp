// Local sockets of the program kept to its own user.
#include "app/LocalSocketAccess.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace crawlmere::app {

namespace {

std::function<std::optional<uid_t>(qintptr)>& peerUserIdSource()
{
    static std::function<std::optional<uid_t>(qintptr)> source;
    return source;
}

/// True for a folder (not a link) of this user that nobody else may enter; else `unfit` says
/// why not.
bool isOwnPrivateFolder(const QByteArray& path, QString* unfit = nullptr)
{
    struct stat status { };
    const QString shown = QFile::decodeName(path);
    QString why;
    if (::lstat(path.constData(), &status) != 0)
        why = QStringLiteral("%1 cannot be read (%2)").arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISDIR(status.st_mode))
        why = QStringLiteral("%1 is not a folder").arg(shown);
    else if (status.st_uid != ::geteuid())
        why = QStringLiteral("the folder %1 belongs to another user (uid %2)")
                  .arg(shown, QString::number(status.st_uid));
    else if ((status.st_mode & 077) != 0)
        why = QStringLiteral("the folder %1 is open to other users").arg(shown);
    if (unfit)
        *unfit = why;
    return why.isNull();
}

/// True when a listener answers at `path`.
bool answers(const QByteArray& path)
{
    sockaddr_un address {};
    if (path.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const bool connected = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(descriptor);
    return connected;
}

} // namespace

QString LocalSocketAccess::privateFolder(QString* unfit)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isOwnPrivateFolder(QFile::encodeName(runtime)))
        return QDir::cleanPath(runtime);
    const QString folder = QDir::tempPath() + QStringLiteral("/crawlmere-%1").arg(::geteuid());
    const QByteArray encoded = QFile::encodeName(folder);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        if (unfit)
            *unfit = QStringLiteral("%1 cannot be made (%2)").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    return isOwnPrivateFolder(encoded, unfit) ? folder : QString();
}

std::optional<uid_t> LocalSocketAccess::peerUserId(qintptr descriptor)
{
    if (const auto& source = peerUserIdSource())
        return source(descriptor);
    ucred credentials {};
    socklen_t length = sizeof(credentials);
    if (descriptor < 0 || ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials.uid;
}

bool LocalSocketAccess::isOwnPeer(const QLocalSocket& socket)
{
    return peerUserId(socket.socketDescriptor()) == ::geteuid();
}

void LocalSocketAccess::setPeerUserIdForTesting(std::function<std::optional<uid_t>(qintptr)> source)
{
    peerUserIdSource() = std::move(source);
}

bool LocalSocketAccess::clearLeftoverSocket(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status { };
    if (::lstat(encoded.constData(), &status) != 0)
        return errno == ENOENT;
    if (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid() || answers(encoded))
        return false;
    return ::unlink(encoded.constData()) == 0;
}

} // namespace crawlmere::app
