// The preferences window's tabs, controls and stored values.
#include "views/PreferencesModel.h"

#include "engine/CrawlSettingTable.h"
#include "platform/Log.h"
#include "platform/StoredValue.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace crawlmere::views {

using platform::UserDefaults;

namespace {

QString tr(const char* text) { return QCoreApplication::translate("PreferencesModel", text); }

Preference check(
    const QString& key, const char* label, PreferenceEffect effect = PreferenceEffect::None, const char* help = "")
{
    return { key, PreferenceKind::Check, tr(label), {}, 0, 0, effect, QLatin1String(help) };
}

Preference choice(platform::DefaultsKey<qint64> key, const char* label, QList<PreferenceChoice> choices,
    PreferenceEffect effect = PreferenceEffect::None, const char* help = "")
{
    return { key, PreferenceKind::Choice, tr(label), std::move(choices), 0, 0, effect, QLatin1String(help) };
}

Preference number(const QString& key, const char* label, qint64 minimum, qint64 maximum, const char* help = "",
    PreferenceKind kind = PreferenceKind::Number)
{
    return { key, kind, tr(label), {}, minimum, maximum, PreferenceEffect::None, QLatin1String(help) };
}

Preference text(const QString& key, const char* label, PreferenceKind kind = PreferenceKind::Text, const char* help = "")
{
    return { key, kind, tr(label), {}, 0, 0, PreferenceEffect::None, QLatin1String(help) };
}

/// An application switch, or a crawl setting the scan reads from the application's store.
Preference check(platform::DefaultsKey<bool> key, const char* label, PreferenceEffect effect = PreferenceEffect::None,
    const char* help = "")
{
    return check(QString(key), label, effect, help);
}

Preference check(crawlmere::engine::CrawlSettingKey key, const char* label,
    PreferenceEffect effect = PreferenceEffect::None, const char* help = "")
{
    return check(QString(key), label, effect, help);
}

/// A whole number, or a real the field shows as whole seconds.
template <typename Number>
Preference number(platform::DefaultsKey<Number> key, const char* label, qint64 minimum, qint64 maximum,
    const char* help = "")
{
    static_assert(std::is_same_v<Number, qint64> || std::is_same_v<Number, double>, "a number field");
    return number(QString(key), label, minimum, maximum, help);
}

Preference text(platform::DefaultsKey<QString> key, const char* label, PreferenceKind kind = PreferenceKind::Text)
{
    return text(QString(key), label, kind);
}

Preference text(crawlmere::engine::CrawlSettingKey key, const char* label, const char* help)
{
    return text(QString(key), label, PreferenceKind::Text, help);
}

/// The crawl settings a site without its own value takes from the application, in the table's
/// order, each with the settings pane's label and help anchor.
QList<Preference> newSitePreferences()
{
    QList<Preference> preferences;
    for (const crawlmere::engine::CrawlSetting& setting : crawlmere::engine::crawlSettingTable()) {
        if (!setting.applicationWide)
            continue;
        const char* help = setting.pane.helpAnchor ? setting.pane.helpAnchor : "";
        Preference preference;
        switch (setting.type) {
        case QMetaType::LongLong:
        case QMetaType::Double: {
            const crawlmere::engine::SettingRange& range = crawlmere::engine::crawlSettingRange(&setting);
            preference = number(QString(), setting.pane.label, qint64(range.lowest), qint64(range.highest), help,
                setting.type == QMetaType::Double ? PreferenceKind::Seconds : PreferenceKind::Number);
            break;
        }
        case QMetaType::Bool:
            preference = check(QString(), setting.pane.label, PreferenceEffect::None, help);
            break;
        default:
            preference = text(QString(), setting.pane.label, PreferenceKind::Text, help);
            break;
        }
        preference.key = setting.key;
        preference.effect = PreferenceEffect::ShownSiteSettings;
        preferences.append(preference);
    }
    return preferences;
}

QList<PreferencePage> buildPages()
{
    using Effect = PreferenceEffect;
    const Effect reload = Effect::ReloadResultViews;
    return {
        { QStringLiteral("0"), QStringLiteral("prefsGeneralTabViewItem"), tr("General"),
            {
                check(defaultsKey::automaticUpdateCheck, "Check for a new version at start-up"),
                choice(defaultsKey::verbosity, "Console output:",
                    { { tr("Silent"), 0 }, { tr("A few warnings"), 1 }, { tr("More detail"), 2 },
                        { tr("Everything"), 3 } },
                    Effect::None, "verbosity:"),
                check(defaultsKey::connectionKeepAlive, "Keep connections to the server open"),
                check(crawlKey::runAllToCompletion, "Load every page to its end, whatever its type"),
                check(defaultsKey::linkedFilesAreInternal, "Count linked files and images as internal links"),
                check(defaultsKey::formActions, "Check the addresses forms are sent to", PreferenceEffect::None, "formactions:"),
                text(crawlKey::defaultLocalFileName, "Local default file name:", "localdefault:"),
            } },
        { QStringLiteral("1"), QStringLiteral("prefsLinksTabViewItem"), tr("Links and labels"),
            {
                check(defaultsKey::displayLabels, "Colour the rows of bad links and warnings", reload),
                check(defaultsKey::displayLabelsForRedirects, "Colour the rows of redirected links", reload, "redirectcolour:"),
                check(defaultsKey::dontReportWarnings, "Do not colour the rows of links with warnings", reload),
                check(crawlKey::dontReportRedirects, "Do not report redirects at all, just the final status", reload),
                choice(defaultsKey::byStatusWhichStatus, "Status of a redirected link:",
                    { { tr("The first status"), 0 }, { tr("The final status"), 1 },
                        { tr("The final status < the first"), 2 } },
                    reload),
                number(defaultsKey::redirectChain, "Warn of redirect chains longer than:", 1, 20),
                check(defaultsKey::shouldFlagBlacklisted, "Colour links that are not checked by a rule", reload),
                check(defaultsKey::displayPageTitle, "Show the title of the page a link is on instead of its URL", reload),
                choice(defaultsKey::csvQuoteEscapeOption, "Quotes inside CSV values:",
                    { { tr("Escaped with a backslash (\\\")"), 0 }, { tr("Replaced by single quotes (')"), 1 },
                        { tr("Doubled (\"\")"), 2 } }),
                check(crawlKey::shouldCheckForSoft404, "Look for soft 404 pages", Effect::None, "soft404:"),
                choice(defaultsKey::soft404Scope, "Look for them among:",
                    { { tr("Internal links"), 0 }, { tr("External links"), 1 }, { tr("All links"), 2 } }),
                text(defaultsKey::soft404Terms, "Soft 404 terms (one a line):", PreferenceKind::Lines),
            } },
        { QStringLiteral("2"), QStringLiteral("prefsNewSitesTabViewItem"), tr("New sites"), newSitePreferences() },
        { PreferencesModel::kSitemapTab, QStringLiteral("prefsSitemapTabViewItem"), tr("Sitemap"),
            {
                choice(defaultsKey::sitemapOptions, "After an XML sitemap is made:",
                    { { tr("Ask where to save it"), 0 }, { tr("Ask where to save it, then upload it"), 1 },
                        { tr("Keep it in the application folder and upload it"), 2 } }),
                choice(defaultsKey::sitemapFilenameOptions,
                    "File name:", { { QStringLiteral("sitemap.txt"), 0 }, { QStringLiteral("sitemap.xml"), 1 } },
                    Effect::None, "sitemapFilenameOption:"),
                check(defaultsKey::includeLastModInXML, "Include the last-modified date", Effect::ReloadSitemap, "lastmod:"),
                check(defaultsKey::includeimagesinsitemap, "Include images in sitemap", Effect::None, "images:"),
                check(defaultsKey::uniqueimagesinsitemap, "List each image once"),
                check(defaultsKey::enableImageSitemap, "Enable image xml sitemap"),
                check(defaultsKey::includevideoinsitemap, "Include videos in sitemap"),
                check(defaultsKey::uniquevideoinsitemap, "List each video once"),
                check(defaultsKey::includePdfsInSitemap, "Include PDF documents", Effect::ReloadSitemap),
                check(defaultsKey::preventSplitXML, "Never split the sitemap into several files"),
                check(defaultsKey::sitemapObservesCanonicalElsewhere, "Leave out pages whose canonical URL is another page",
                    Effect::ReloadSitemap, "robotsSitemap:"),
                check(defaultsKey::sitemapObservesRobotsMetaNoindex, "Leave out pages marked noindex", Effect::ReloadSitemap),
                check(defaultsKey::observeRobotsTxt, "Leave out pages that robots.txt disallows"),
                choice(defaultsKey::htmlExportOptions, "Sitemap as HTML:", { { tr("A flat list"), 0 }, { tr("A hierarchy"), 1 } }),
                check(defaultsKey::vizColour, "Graph: colour the links by level", Effect::None, "visualisation:"),
                check(defaultsKey::vizLimit, "Graph: limit the levels"),
                number(defaultsKey::vizLevels, "Graph levels:", 1, 100),
                check(defaultsKey::vizClean, "Graph: only links that lead a level deeper"),
                check(defaultsKey::observeCanonicalRuleForDotSitemap, "Graph: observe canonical URLs"),
            } },
        { QStringLiteral("4"), QStringLiteral("prefsRenderingTabViewItem"), tr("Rendering"),
            {
                number(defaultsKey::jsRenderingTime, "Time given to scripts to run (s):", 0, 60, "renderjs:"),
            } },
        { QStringLiteral("6"), QStringLiteral("prefsSiteListTabViewItem"), tr("Site list"),
            {
                choice(defaultsKey::sitesTableIconSize, "Rows of the site list:",
                    { { tr("Small, without thumbnails"), 0 }, { tr("Normal"), 1 }, { tr("Large"), 2 } },
                    Effect::SiteListIconSize),
            } },
        { QStringLiteral("7"), QStringLiteral("prefsTextContentTabViewItem"), tr("Text content"),
            {
                check(defaultsKey::parserContentConsolidateWhitespace, "Run white space together"),
                check(defaultsKey::parserContentIncludeAltText, "Include the alt text of images"),
                check(defaultsKey::parserContentIgnoreNav, "Ignore navigation"),
                check(defaultsKey::parserContentIgnoreHeader, "Ignore headers and footers"),
                check(defaultsKey::parserContentOnlyParas, "Only the text of paragraphs"),
            } },
    };
}

/// The value `raw` as the kind stores it.
QVariant coerced(const Preference& preference, const QVariant& raw)
{
    switch (preference.kind) {
    case PreferenceKind::Check:
        return crawlmere::platform::boolValue(raw);
    case PreferenceKind::Choice:
        return crawlmere::platform::integerValue(raw);
    case PreferenceKind::Number:
        return std::clamp(crawlmere::platform::integerValue(raw), preference.minimum, preference.maximum);
    case PreferenceKind::Seconds: {
        const double seconds = crawlmere::platform::doubleValue(raw);
        return std::isfinite(seconds) ? std::clamp(seconds, double(preference.minimum), double(preference.maximum))
                                      : double(preference.minimum);
    }
    case PreferenceKind::Text:
    case PreferenceKind::Lines:
        return crawlmere::platform::stringValue(raw);
    }
    return raw;
}

} // namespace

PreferencesModel::PreferencesModel(UserDefaults& defaults)
    : m_defaults(defaults)
{
}

const QList<PreferencePage>& PreferencesModel::pages()
{
    static const QList<PreferencePage> built = buildPages();
    return built;
}

const Preference* PreferencesModel::preference(const QString& key)
{
    for (const PreferencePage& page : pages()) {
        for (const Preference& candidate : page.preferences) {
            if (candidate.key == key)
                return &candidate;
        }
    }
    return nullptr;
}

QVariant PreferencesModel::storedOrDefault(const Preference& preference) const
{
    const QVariant stored = m_defaults.objectForKey(preference.key);
    // A crawl setting reads as the scan reads the application's value: absent, empty or below
    // its range it is the table's default, above it the range's highest.
    if (crawlmere::engine::findCrawlSetting(preference.key))
        return crawlmere::engine::effectiveSettingValue(preference.key, stored);
    return stored;
}

QVariant PreferencesModel::value(const Preference& preference) const
{
    return coerced(preference, storedOrDefault(preference));
}

bool PreferencesModel::setValue(const Preference& preference, const QVariant& value)
{
    QVariant stored = coerced(preference, value);
    if (preference.kind == PreferenceKind::Choice
        && std::none_of(preference.choices.cbegin(), preference.choices.cend(),
            [&](const PreferenceChoice& item) { return item.value == stored.toLongLong(); }))
        return false;
    const QVariant before = storedOrDefault(preference);
    if (before.isValid() && coerced(preference, before) == stored)
        return false;
    // A switch whose default is registered as a number stays a number.
    if (preference.kind == PreferenceKind::Check && before.typeId() == QMetaType::LongLong)
        stored = qint64(stored.toBool() ? 1 : 0);
    m_defaults.setObject(stored, preference.key);
    platform::logLine(
        2, QStringLiteral("preference %1 set to %2").arg(preference.key, crawlmere::platform::stringValue(stored)));
    return true;
}

} // namespace crawlmere::views
