// A sticky folder every user may write to (as the temporary folder is), and a second user who
// plants links and folders in it.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

#include <sys/types.h>

namespace crawlmere::test {

class SharedFolder {
public:
    /// The second user's user and group id.
    static constexpr uid_t kOtherUser = 42001;

    /// Why the second user cannot be played here (not root, or no setpriv); null when it can.
    static QString whyNotRunnable();

    /// A folder `shared` (01777) and a folder `private` (0700, the second user cannot write to
    /// or look into it) in a new temporary folder.
    SharedFolder();
    bool isValid() const { return m_valid; }
    QString shared(const QString& name = QString()) const;
    QString privateFolder(const QString& name = QString()) const;

    /// Runs `arguments` as the second user; false when it did not end with status 0.
    static bool runAsOtherUser(const QStringList& arguments);
    /// Starts the second user swapping each entry `pattern` (a glob) matches for a link to
    /// `target` and back, about every 0.3 ms, from 50 ms after it first sees the entry, until
    /// `swapper` is killed. False when it could not be started.
    static bool startSwapping(QProcess& swapper, const QString& pattern, const QString& target);
    /// A link `name` in the shared folder to `target`, made by the second user.
    bool plantLink(const QString& target, const QString& name) const;

private:
    QTemporaryDir m_root;
    bool m_valid = false;
};

} // namespace crawlmere::test
