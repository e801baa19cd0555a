// A sticky shared folder and a second user.
#include "support/SharedFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::test {

QString SharedFolder::whyNotRunnable()
{
    if (::geteuid() != 0)
        return QStringLiteral("not run as root: a second user cannot be played");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv is not installed: a second user cannot be played");
    if (!runAsOtherUser({ QStringLiteral("true") }))
        return QStringLiteral("setpriv could not run a command as user %1").arg(kOtherUser);
    return {};
}

SharedFolder::SharedFolder()
{
    const QDir root(m_root.path());
    // The second user passes through the root folder to reach the shared one.
    m_valid = m_root.isValid() && ::chmod(QFile::encodeName(m_root.path()).constData(), 0711) == 0
        && root.mkdir(QStringLiteral("shared")) && root.mkdir(QStringLiteral("private"))
        && ::chmod(QFile::encodeName(shared()).constData(), 01777) == 0
        && ::chmod(QFile::encodeName(privateFolder()).constData(), 0700) == 0;
}

QString SharedFolder::shared(const QString& name) const
{
    const QString folder = QDir(m_root.path()).filePath(QStringLiteral("shared"));
    return name.isEmpty() ? folder : QDir(folder).filePath(name);
}

QString SharedFolder::privateFolder(const QString& name) const
{
    const QString folder = QDir(m_root.path()).filePath(QStringLiteral("private"));
    return name.isEmpty() ? folder : QDir(folder).filePath(name);
}

bool SharedFolder::runAsOtherUser(const QStringList& arguments)
{
    const QString id = QString::number(kOtherUser);
    QProcess process;
    process.start(QStringLiteral("setpriv"),
        QStringList { QStringLiteral("--reuid"), id, QStringLiteral("--regid"), id, QStringLiteral("--clear-groups") }
            + arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool SharedFolder::startSwapping(QProcess& swapper, const QString& pattern, const QString& target)
{
    const QString id = QString::number(kOtherUser);
    const QString swap = QStringLiteral(
        "use Time::HiRes qw(time sleep); my ($pattern, $target) = @ARGV; my %seen;"
        "while (1) { for my $p (glob($pattern)) { next if $p =~ /\\.real$/ || -l $p || !-e $p;"
        " $seen{$p} //= time; next if time - $seen{$p} < 0.05;"
        " if (rename($p, \"$p.real\")) { symlink($target, $p); sleep(0.0003); unlink($p); rename(\"$p.real\", $p); } }"
        " sleep(0.0003); }");
    swapper.start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid"), id, QStringLiteral("--regid"), id, QStringLiteral("--clear-groups"),
            QStringLiteral("perl"), QStringLiteral("-e"), swap, pattern, target });
    return swapper.waitForStarted();
}

bool SharedFolder::plantLink(const QString& target, const QString& name) const
{
    return runAsOtherUser({ QStringLiteral("ln"), QStringLiteral("-s"), target, shared(name) });
}

} // namespace crawlmere::test
