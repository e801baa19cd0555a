// The window's save panel for exports, remembering folders and proposing names.
#include "app/RememberingSavePanel.h"

#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace crawlmere::app {

RememberingSavePanel::RememberingSavePanel(
    std::shared_ptr<platform::SavePanel> panel, platform::UserDefaults& defaults, std::function<QString()> site)
    : m_panel(std::move(panel))
    , m_defaults(defaults)
    , m_site(std::move(site))
{
}

QString RememberingSavePanel::folderKey(const QString& kind, const QString& type)
{
    QString key = QStringLiteral("SaveFolder:") + (kind.isEmpty() ? QStringLiteral("export") : kind);
    if (!type.isEmpty())
        key += QLatin1Char('.') + type;
    return key;
}

QString RememberingSavePanel::proposedFileName(const QString& site, const QString& kind, const QString& type)
{
    const QString host = QUrl(site.trimmed()).host();
    QString name = host.isEmpty() ? site.trimmed() : host;
    if (!name.isEmpty())
        name += QLatin1Char('-');
    name += kind;
    static const QRegularExpression unfit(QStringLiteral("[\\s/\\\\:*?\"<>|]+"));
    name.replace(unfit, QStringLiteral("-"));
    if (!type.isEmpty())
        name += QLatin1Char('.') + type;
    return name;
}

QString RememberingSavePanel::kindOfView(const QString& objectName)
{
    QString base = objectName;
    for (const QLatin1String suffix : { QLatin1String("OutlineView"), QLatin1String("View") }) {
        if (base.endsWith(suffix) && base.size() > suffix.size()) {
            base.chop(suffix.size());
            break;
        }
    }
    QString kind;
    for (const QChar c : base) {
        if (c.isUpper() && !kind.isEmpty())
            kind += QLatin1Char('-');
        kind += c.toLower();
    }
    return kind;
}

std::optional<QString> RememberingSavePanel::runModal(const platform::SavePanelRequest& request)
{
    if (!m_panel)
        return std::nullopt;
    const QString type = request.allowedFileTypes.value(0);
    const QString key = folderKey(request.kind, type);
    platform::SavePanelRequest shown = request;
    if (shown.directory.isEmpty()) {
        const QString folder = m_defaults.stringForKey(key);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            shown.directory = folder;
    }
    if (shown.nameFieldStringValue.isEmpty() && !request.kind.isEmpty())
        shown.nameFieldStringValue = proposedFileName(m_site ? m_site() : QString(), request.kind, type);
    std::optional<QString> chosen = m_panel->runModal(shown);
    if (chosen && !chosen->isEmpty())
        m_defaults.setObject(QFileInfo(*chosen).absolutePath(), key);
    return chosen;
}

void RememberingSavePanel::showSaveFailure(const QString& path, const QString& reason)
{
    if (m_panel)
        m_panel->showSaveFailure(path, reason);
}

} // namespace crawlmere::app
