// Local sockets of the program kept to its own user: where they live, who is at the other end,
// and which leftover may be cleared.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

#include <sys/types.h>

class QLocalSocket;

namespace crawlmere::app {

class LocalSocketAccess {
public:
    /// The folder for the program's sockets: `$XDG_RUNTIME_DIR` when it names a folder of this
    /// user that nobody else may enter; else "crawlmere-<uid>" in the temporary folder, made
    /// with mode 0700. Null when neither is fit (a folder of that name owned by someone else,
    /// open to others, or a link): callers fall back to a plain name and rely on `isOwnPeer`;
    /// `unfit` then tells why the folder was not taken.
    static QString privateFolder(QString* unfit = nullptr);

    /// The user id of the process at the other end of a connected local socket (SO_PEERCRED),
    /// or nullopt when the system cannot tell.
    static std::optional<uid_t> peerUserId(qintptr descriptor);
    /// True when the other end of `socket` runs as this program's user. Checked on both sides
    /// before anything is sent or taken.
    static bool isOwnPeer(const QLocalSocket& socket);
    /// Replaces `peerUserId` (null: the system's answer again). Tests only.
    static void setPeerUserIdForTesting(std::function<std::optional<uid_t>(qintptr)> source);

    /// Makes `path` free for a new listener. True when nothing is there or when a socket of
    /// this user nobody answers on (left by a program that ended) was removed. Anything else
    /// stays as it is and gives false: a live listener, a file, a folder, a link, a socket of
    /// another user.
    static bool clearLeftoverSocket(const QString& path);
};

} // namespace crawlmere::app
