// The main window's toolbar without widgets.
#include "app/ToolbarConfiguration.h"

#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QSet>

namespace crawlmere::app {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("Toolbar", text); }

} // namespace

QStringList ToolbarConfiguration::allowedItemIdentifiers(const QString& toolbarIdentifier)
{
    if (toolbarIdentifier != kToolbarIdentifier)
        return {};
    return { kFlexibleSpace, QStringLiteral("badLinksItemIdentifier"), kSpace, QStringLiteral("expandItemIdentifier"),
        QStringLiteral("collapseItemIdentifier"), QStringLiteral("exportHTMLItemIdentifier"),
        QStringLiteral("exportCSVItemIdentifier"), QStringLiteral("prefsItemIdentifier") };
}

QStringList ToolbarConfiguration::defaultItemIdentifiers(const QString& toolbarIdentifier)
{
    if (toolbarIdentifier != kToolbarIdentifier)
        return {};
    return { kFlexibleSpace, QStringLiteral("badLinksItemIdentifier"), kSpace,
        QStringLiteral("exportCSVItemIdentifier") };
}

std::optional<ToolbarItem> ToolbarConfiguration::itemForItemIdentifier(const QString& identifier)
{
    if (identifier == QLatin1String("exportCSVItemIdentifier"))
        return ToolbarItem { identifier, QStringLiteral("csvButton"), tr("Export CSV..."), QString(),
            ToolbarTarget::OwnButton, QString() };
    if (identifier == QLatin1String("exportHTMLItemIdentifier"))
        return ToolbarItem { identifier, QStringLiteral("htmlButton"), tr("Export HTML..."), tr("Export HTML..."),
            ToolbarTarget::OwnButton, QString() };
    if (identifier == QLatin1String("badLinksItemIdentifier"))
        return ToolbarItem { identifier, QStringLiteral("badLinksButton"), tr("Bad links only"), tr("Bad links only"),
            ToolbarTarget::Delegate, QStringLiteral("showHideGoodLinksMenuItem") };
    if (identifier == QLatin1String("prefsItemIdentifier"))
        return ToolbarItem { identifier, QStringLiteral("prefsButton"), tr("Preferences"), tr("Preferences"),
            ToolbarTarget::ConfigManager, QStringLiteral("showPrefs") };
    if (identifier == QLatin1String("expandItemIdentifier"))
        return ToolbarItem { identifier, QStringLiteral("expandButton"), tr("Expand all"), tr("Expand all"),
            ToolbarTarget::Delegate, QStringLiteral("expandAllMenuItem") };
    if (identifier == QLatin1String("collapseItemIdentifier"))
        return ToolbarItem { identifier, QStringLiteral("collapseButton"), tr("Collapse all"), tr("Collapse all"),
            ToolbarTarget::Delegate, QStringLiteral("collapseAllMenuItem") };
    return std::nullopt;
}

QStringList ToolbarConfiguration::sanitized(const QStringList& identifiers)
{
    const QStringList allowed = allowedItemIdentifiers(kToolbarIdentifier);
    QStringList result;
    QSet<QString> seen;
    for (const QString& identifier : identifiers) {
        if (!allowed.contains(identifier))
            continue;
        if (!isSpace(identifier) && seen.contains(identifier))
            continue;
        seen.insert(identifier);
        result << identifier;
    }
    return result;
}

QStringList ToolbarConfiguration::savedItemIdentifiers(const platform::UserDefaults& defaults)
{
    const QVariant kept = defaults.objectForKey(kDefaultsKey);
    if (kept.typeId() != QMetaType::QVariantList)
        return defaultItemIdentifiers(kToolbarIdentifier);
    const QVariantList list = kept.toList();
    QStringList identifiers;
    for (const QVariant& value : list) {
        if (value.typeId() != QMetaType::QString)
            return defaultItemIdentifiers(kToolbarIdentifier);
        identifiers << value.toString();
    }
    return sanitized(identifiers);
}

void ToolbarConfiguration::saveItemIdentifiers(platform::UserDefaults& defaults, const QStringList& identifiers)
{
    defaults.setObject(QVariant(sanitized(identifiers)), kDefaultsKey);
}

} // namespace crawlmere::app
