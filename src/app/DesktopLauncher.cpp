// The desktop's opener, started for each URL and watched for failure.
#include "app/DesktopLauncher.h"

#include "platform/Log.h"

#include <QDesktopServices>
#include <QProcess>

namespace crawlmere::app {

const QStringList& DesktopLauncher::kSchemes()
{
    static const QStringList schemes { QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"),
        QStringLiteral("mailto") };
    return schemes;
}

DesktopLauncher::DesktopLauncher(Failed failed, QString opener, QObject* parent)
    : QObject(parent)
    , m_failed(std::move(failed))
    , m_opener(std::move(opener))
{
}

DesktopLauncher::~DesktopLauncher()
{
    // Openers still running (one that waits for the browser it started) end unheard.
    for (QProcess* process : findChildren<QProcess*>())
        process->disconnect(this);
    if (!m_installed)
        return;
    for (const QString& scheme : kSchemes())
        QDesktopServices::unsetUrlHandler(scheme);
}

void DesktopLauncher::install()
{
    for (const QString& scheme : kSchemes())
        QDesktopServices::setUrlHandler(scheme, this, "open");
    m_installed = true;
}

QString DesktopLauncher::failureText(const QUrl& url, const QString& why)
{
    const QString shown = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return why.isEmpty() ? QStringLiteral("No application on this computer opened %1.").arg(shown)
                         : QStringLiteral("No application on this computer opened %1 (%2).").arg(shown, why);
}

void DesktopLauncher::open(const QUrl& url)
{
    auto* process = new QProcess(this);
    process->setProgram(m_opener);
    process->setArguments({ url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded) });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    // The opener's last line says why it failed; a browser it starts may outlive it.
    const auto report = [this, process, url](const QString& why) {
        platform::logLine(0, QStringLiteral("unable to open %1: %2").arg(url.toString(), why));
        if (m_failed)
            m_failed(url, why);
    };
    connect(process, &QProcess::finished, this, [process, report](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if (status == QProcess::NormalExit && code == 0)
            return;
        const QStringList lines = QString::fromLocal8Bit(process->readAllStandardError()).trimmed().split(u'\n');
        report(lines.last().trimmed());
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, report](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        report(QStringLiteral("%1 could not be started").arg(m_opener));
    });
    process->start();
}

} // namespace crawlmere::app
