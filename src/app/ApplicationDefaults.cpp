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
    const auto integer = [](platform::DefaultsKey<qint64> key, qint64 value) {
        return RegisteredDefault { key, DefaultType::Integer, QVariant(value) };
    };
    const auto boolean = [](platform::DefaultsKey<bool> key, bool value) {
        return RegisteredDefault { key, DefaultType::Boolean, QVariant(value) };
    };
    // A switch registered as a number, as the stores written before it became a switch hold it.
    const auto numberedSwitch = [](platform::DefaultsKey<bool> key, qint64 value) {
        return RegisteredDefault { key, DefaultType::Integer, QVariant(value) };
    };
    const auto string = [](platform::DefaultsKey<QString> key, const QString& value) {
        return RegisteredDefault { key, DefaultType::String, QVariant(value) };
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
    const auto registeredBy = [](const QVariantMap& library, const QString& key) {
        const QVariant value = library.value(key);
        Q_ASSERT_X(value.isValid(), "registeredDefaultsTable", qPrintable(key));
        const DefaultType type = value.typeId() == QMetaType::Bool ? DefaultType::Boolean
            : value.typeId() == QMetaType::QString                 ? DefaultType::String
                                                                   : DefaultType::Integer;
        return RegisteredDefault { key, type, value, /*registeredByLibrary=*/true };
    };
    const auto ofEngine = [&](const QString& key) { return registeredBy(engineValues, key); };
    const auto ofReports = [&](const QString& key) { return registeredBy(reportsValues, key); };
    return {
        integer(defaultsKey::redirectChain, 3),
        integer(defaultsKey::headingLevelMax, 7),
        boolean(defaultsKey::dontReportWarnings, true),
        boolean(defaultsKey::displayLabelsForRedirects, true),
        ofEngine(crawlKey::dontReportRedirects),
        boolean(defaultsKey::displayLabels, true),
        ofEngine(defaultsKey::byStatusWhichStatus),
        boolean(defaultsKey::shouldFlagBlacklisted, false),
        boolean(defaultsKey::alertOnFinish, true),
        boolean(defaultsKey::inspectBadLinksOnFinish, false),
        boolean(defaultsKey::dockProgCheckbox, false),
        boolean(defaultsKey::NSAppSleepDisabled, true),
        integer(defaultsKey::csvQuoteEscapeOption, 1),
        string(defaultsKey::soft404Terms, soft404Terms()),
        ofEngine(crawlKey::shouldCheckForSoft404),
        ofEngine(defaultsKey::soft404Scope),
        boolean(defaultsKey::displayPageTitle, false),
        boolean(defaultsKey::htmlValidationEnabled, true),
        ofReports(defaultsKey::warningsMaximumCount),
        ofReports(defaultsKey::perWarningMaximumCount),
        boolean(defaultsKey::includeLastModInXML, true),
        boolean(defaultsKey::includeimagesinsitemap, true),
        boolean(defaultsKey::uniqueimagesinsitemap, true),
        boolean(defaultsKey::includevideoinsitemap, true),
        boolean(defaultsKey::uniquevideoinsitemap, true),
        boolean(defaultsKey::includeaudioinsitemap, true),
        boolean(defaultsKey::uniqueaudioinsitemap, true),
        boolean(defaultsKey::includePdfsInSitemap, true),
        boolean(defaultsKey::enableImageSitemap, true),
        integer(defaultsKey::sitemapPriority, 1),
        integer(defaultsKey::sitemapFilenameOptions, 1),
        string(defaultsKey::XMLSitemapTemplate, emptySitemap()),
        integer(defaultsKey::sitemapOptions, 0),
        string(defaultsKey::CustomReportHTMLHeader, reportHeader()),
        string(defaultsKey::CustomReportHTMLStyles, reportStyles()),
        boolean(defaultsKey::observeRobotsTxt, false),
        boolean(defaultsKey::sitemapObservesCanonicalElsewhere, true),
        boolean(defaultsKey::sitemapObservesRobotsMetaNoindex, true),
        integer(defaultsKey::htmlExportOptions, 1),
        ofReports(defaultsKey::SEOEnabled),
        ofReports(defaultsKey::maxThinContent),
        string(defaultsKey::maxKeywordDensity, QStringLiteral("6.0")),
        integer(defaultsKey::minDeepContent, 6),
        ofReports(defaultsKey::tooManyLinks),
        ofReports(defaultsKey::metaDescriptionMax),
        ofReports(defaultsKey::metaDescriptionMin),
        ofReports(defaultsKey::metaTitleMax),
        boolean(defaultsKey::countKeywords, false),
        boolean(defaultsKey::removeWhenSpellingReviewed, false),
        crawlSetting(crawlKey::checkSpelling, DefaultType::Boolean),
        boolean(defaultsKey::parserContentConsolidateWhitespace, true),
        boolean(defaultsKey::parserContentIgnoreNav, true),
        boolean(defaultsKey::parserContentIgnoreHeader, true),
        boolean(defaultsKey::parserContentIncludeAltText, true),
        boolean(defaultsKey::parserContentOnlyParas, false),
        boolean(defaultsKey::flattenByWordOutline, true),
        ofEngine(defaultsKey::jsRenderingTime),
        ofEngine(crawlKey::runAllToCompletion),
        boolean(defaultsKey::precomposedStringWithCompatibilityMapping, false),
        ofEngine(crawlKey::defaultLocalFileName),
        boolean(defaultsKey::linkedFilesAreInternal, false),
        integer(defaultsKey::sitesTableIconSize, 1),
        boolean(defaultsKey::vizColour, true),
        boolean(defaultsKey::vizLimit, true),
        boolean(defaultsKey::observeCanonicalRuleForDotSitemap, true),
        integer(defaultsKey::vizLevels, 3),
        numberedSwitch(defaultsKey::vizClean, 1),
        ofEngine(defaultsKey::skipArchiveBasedOnBlackAndWhitelists),
        ofEngine(defaultsKey::exportEntireSite_Preserve),
        ofEngine(defaultsKey::exportEntireSite_Process),
        integer(defaultsKey::smartFolderSelected, 1),
        ofEngine(defaultsKey::connectionKeepAlive),
        boolean(defaultsKey::renderStartingURL, true),
        ofEngine(defaultsKey::verbosity),
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
    defaults.setValue(defaultsKey::badLinksOnly, false);
    defaults.setValue(defaultsKey::htmlValidationEnabled, false);
}

} // namespace crawlmere::app
