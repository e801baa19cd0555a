// Shell services of a scan without windows.
#include "app/HeadlessShellServices.h"

#include "platform/Log.h"

namespace crawlmere::app {

QString HeadlessPrompts::lineForAlert(const ShellAlert& alert)
{
    QString informative = alert.informativeText;
    informative.replace(QLatin1String("\n\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QString line = alert.messageText;
    if (!informative.trimmed().isEmpty())
        line += QLatin1String(": ") + informative.trimmed();
    if (!alert.buttons.isEmpty())
        line += QStringLiteral(" [answered \"%1\"]").arg(alert.buttons.first());
    return line;
}

int HeadlessPrompts::runModalAlert(const ShellAlert& alert)
{
    ++m_alertCount;
    if (m_err) {
        const QByteArray line = QByteArrayLiteral("crawlmere: ") + lineForAlert(alert).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), m_err);
        std::fflush(m_err);
    }
    return 0;
}

void HeadlessSiteStore::setNewStartingurl(const QString& url)
{
    platform::logLine(1, QStringLiteral("starting url is now %1 (not saved: headless scan)").arg(url));
}

} // namespace crawlmere::app
