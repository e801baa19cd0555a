// The application-wide registered defaults and what every launch does to the store.
#include "app/ApplicationDefaults.h"

#include "engine/CrawlSettingTable.h"
#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"

#include <QStringList>

namespace crawlmere::app {

namespace {

/// The soft-404 terms: twelve texts, each ended by a line feed.
QString soft404Terms()
{
    const QStringList terms {
        QStringLiteral("website-unavailable"),
        QStringLiteral("OpenDNS"),
        QStringLiteral("index of /"),
        QStringLiteral("Oops"),
        QStringLiteral("404 File Not Found"),
        QStringLiteral("Page not found"),
        QStringLiteral("n'existe plus"),
        QStringLiteral("This video is unavailable"),
        QStringLiteral("This account doesn\u2019t exist"),
        QStringLiteral("Sorry, this page isn't available"),
        QStringLiteral("This page isn't available"),
        QStringLiteral("The requested URL was not found on this server"),
    };
    return terms.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString emptySitemap()
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                          "<!-- Sitemap made with Crawlmere -->\n"
                          "\n"
                          "\n"
                          "</urlset>\n");
}

QString reportHeader()
{
    return QStringLiteral(
        "<img src=\"https://crawlmere.example/images/logo64.png\" "
        "srcset=\"https://crawlmere.example/images/logo64.png 1x, https://crawlmere.example/images/logo128.png 2x\" "
        "width=\"64\" height=\"64\" alt=\"Crawlmere\" style=\"vertical-align: sub\">\n"
        "<div style=\"height: 1px; width: 100%; border-bottom: 1px solid #b6b6d2\"></div>\n");
}

QString reportStyles()
{
    return QStringLiteral(
        "<style>\n"
        "body { padding: 2em; }\n"
        "table { border: none; border-collapse: collapse; width: 100%; text-align: left; "
        "font-family: 'Open Sans', Arial, Helvetica, sans-serif; }\n"
        "td, th { font-size: 14px; padding: 6px; }\n"
        "th { background: #eee; }\n"
        "td { height: 1em; white-space: nowrap; overflow: hidden; }\n"
        "tr:nth-child(odd) { background: #f2f2f2; }\n"
        "p { font-family: 'Open Sans', Arial, Helvetica, sans-serif; font-size: 14px; }\n"
        "h1, h2, h3 { font-family: 'Open Sans', Arial, Helvetica, sans-serif; font-weight: normal; }\n"
        "</style>\n"
        "\n");
}

std::vector<RegisteredDefault> buildTable()
{
    const auto integer = [](const char* key, qint64 value) {
        return RegisteredDefault { QLatin1String(key), DefaultType::Integer, QVariant(value) };
    };
    const auto boolean = [](const char* key, bool value) {
        return RegisteredDefault { QLatin1String(key), DefaultType::Boolean, QVariant(value) };
    };
    const auto string = [](const char* key, const QString& value) {
        return RegisteredDefault { QLatin1String(key), DefaultType::String, QVariant(value) };
    };
    // A crawl setting that the scan reads from the application's store: its default is the table's.
    const auto crawlSetting = [](engine::CrawlSettingKey key, DefaultType type) {
        return RegisteredDefault { QString(key), type, engine::crawlSetting(key).defaultValue };
    };
    // A default the engine or the reports register themselves (they run without the shell): the
    // row names it in the table's order and takes its value from there, and the shell does not
    // register it a second time.
    const QVariantMap engineValues = engine::engineDefaults();
    const QVariantMap reportsValues = reports::reportsDefaults();
    const auto registeredBy = [](const QVariantMap& library, const char* key) {
        const QVariant value = library.value(QLatin1String(key));
        Q_ASSERT_X(value.isValid(), "registeredDefaultsTable", key);
        const DefaultType type = value.typeId() == QMetaType::Bool ? DefaultType::Boolean
            : value.typeId() == QMetaType::QString                 ? DefaultType::String
                                                                   : DefaultType::Integer;
        return RegisteredDefault { QLatin1String(key), type, value, /*registeredByLibrary=*/true };
    };
    const auto ofEngine = [&](const char* key) { return registeredBy(engineValues, key); };
    const auto ofReports = [&](const char* key) { return registeredBy(reportsValues, key); };
    return {
        integer("redirectChain", 3),
        integer("headingLevelMax", 7),
        boolean("dontReportWarnings", true),
        boolean("displayLabelsForRedirects", true),
        ofEngine(crawlKey::dontReportRedirects.name()),
        boolean("displayLabels", true),
        ofEngine("byStatusWhichStatus"),
        boolean("shouldFlagBlacklisted", false),
        boolean("alertOnFinish", true),
        boolean("inspectBadLinksOnFinish", false),
        boolean("dockProgCheckbox", false),
        boolean("NSAppSleepDisabled", true),
        integer("csvQuoteEscapeOption", 1),
        string("soft404Terms", soft404Terms()),
        ofEngine(crawlKey::shouldCheckForSoft404.name()),
        ofEngine("soft404Scope"),
        boolean("displayPageTitle", false),
        boolean("htmlValidationEnabled", true),
        ofReports("warningsMaximumCount"),
        ofReports("perWarningMaximumCount"),
        boolean("includeLastModInXML", true),
        boolean("includeimagesinsitemap", true),
        boolean("uniqueimagesinsitemap", true),
        boolean("includevideoinsitemap", true),
        boolean("uniquevideoinsitemap", true),
        boolean("includeaudioinsitemap", true),
        boolean("uniqueaudioinsitemap", true),
        boolean("includePdfsInSitemap", true),
        boolean("enableImageSitemap", true),
        integer("sitemapPriority", 1),
        integer("sitemapFilenameOptions", 1),
        string("XMLSitemapTemplate", emptySitemap()),
        integer("sitemapOptions", 0),
        string("CustomReportHTMLHeader", reportHeader()),
        string("CustomReportHTMLStyles", reportStyles()),
        boolean("observeRobotsTxt", false),
        boolean("sitemapObservesCanonicalElsewhere", true),
        boolean("sitemapObservesRobotsMetaNoindex", true),
        integer("htmlExportOptions", 1),
        ofReports("SEOEnabled"),
        ofReports("maxThinContent"),
        string("maxKeywordDensity", QStringLiteral("6.0")),
        integer("minDeepContent", 6),
        ofReports("tooManyLinks"),
        ofReports("metaDescriptionMax"),
        ofReports("metaDescriptionMin"),
        ofReports("metaTitleMax"),
        boolean("countKeywords", false),
        boolean("removeWhenSpellingReviewed", false),
        crawlSetting(crawlKey::checkSpelling, DefaultType::Boolean),
        boolean("parserContentConsolidateWhitespace", true),
        boolean("parserContentIgnoreNav", true),
        boolean("parserContentIgnoreHeader", true),
        boolean("parserContentIncludeAltText", true),
        boolean("parserContentOnlyParas", false),
        boolean("flattenByWordOutline", true),
        ofEngine("jsRenderingTime"),
        ofEngine(crawlKey::runAllToCompletion.name()),
        boolean("precomposedStringWithCompatibilityMapping", false),
        ofEngine(crawlKey::defaultLocalFileName.name()),
        boolean("linkedFilesAreInternal", false),
        integer("sitesTableIconSize", 1),
        boolean("vizColour", true),
        boolean("vizLimit", true),
        boolean("observeCanonicalRuleForDotSitemap", true),
        integer("vizLevels", 3),
        integer("vizClean", 1),
        ofEngine("skipArchiveBasedOnBlackAndWhitelists"),
        ofEngine("exportEntireSite_Preserve"),
        ofEngine("exportEntireSite_Process"),
        integer("smartFolderSelected", 1),
        ofEngine("connectionKeepAlive"),
        boolean("renderStartingURL", true),
        ofEngine("verbosity"),
    };
}

} // namespace

const std::vector<RegisteredDefault>& registeredDefaultsTable()
{
    static const std::vector<RegisteredDefault> table = buildTable();
    return table;
}

QVariantMap applicationDefaults()
{
    QVariantMap values;
    for (const RegisteredDefault& row : registeredDefaultsTable())
        values.insert(row.key, row.value);
    return values;
}

void registerApplicationDefaults(platform::UserDefaults& defaults)
{
    engine::registerEngineDefaults(defaults);
    reports::registerReportsDefaults(defaults);
    QVariantMap own;
    for (const RegisteredDefault& row : registeredDefaultsTable()) {
        if (!row.registeredByLibrary)
            own.insert(row.key, row.value);
    }
    defaults.registerDefaults(own);
}

QString unreadableDefaultsText(const QString& reason)
{
    return QStringLiteral("The stored settings and sites cannot be read (%1). The file is left as it is: give it "
                          "back to this user or move it away, then start Crawlmere again.")
        .arg(reason);
}

void prepareDefaultsForLaunch(platform::UserDefaults& defaults)
{
    registerApplicationDefaults(defaults);
    defaults.setBool(false, kBadLinksOnlyKey);
    defaults.setBool(false, kHtmlValidationEnabledKey);
}

} // namespace crawlmere::app
