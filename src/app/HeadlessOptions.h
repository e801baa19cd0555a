// The command line of a scan without windows: options, typed values and the scan target.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace crawlmere::app {

/// What a scan's target names.
enum class TargetKind {
    WebAddress, ///< an http(s) URL (or any text with "://")
    LocalFile, ///< a page, URL list or sitemap on disk, scanned through its file URL
    SettingsFile, ///< a `.lcsettings` file whose site settings are used
    SiteListFile, ///< a `.lcsbatch` file whose sites join the site list; nothing is scanned
};

struct HeadlessOptions {
    bool headless = false;
    /// `--set` values, typed by the crawl settings' models.
    QVariantMap crawlSettings;
    /// `--default` values for this run's defaults store, never saved.
    QVariantMap defaults;
    QString csvFile;
    /// `--html`: the HTML page of the exported link view (needs `view`).
    QString htmlFile;
    /// `--view`: the link view whose rows `csvFile` and `htmlFile` get (1 by link, 2 by page,
    /// 3 by status, 4 flat); 0 for none,
    /// when `csvFile` gets every URL found with `columns`.
    int view = 0;
    /// `--sitemap`: the XML sitemap of the scan's good internal pages (several files: a folder
    /// named after it holding the index and the numbered files).
    QString sitemapFile;
    QStringList columns = defaultColumns();
    QString target;
    TargetKind targetKind = TargetKind::WebAddress;
    /// The starting URL: the target itself, or the file URL of a local target. Empty for a
    /// settings file.
    QString startingUrl;

    static QStringList defaultColumns();
};

/// The outcome of reading the command line: options to run with, a request for help or the
/// version, or a usage error in words for the user.
struct HeadlessParse {
    std::optional<HeadlessOptions> options;
    bool showHelp = false;
    bool showVersion = false;
    QString error;
    /// The error is a target file that is not there ("no such file"): the command line was
    /// well formed, the scan cannot start.
    bool targetNotFound = false;
};

/// Reads `arguments` (without the program name). `crawlSettingModels` names the crawl settings
/// `--set` accepts and types their values (`CrwlUrl::crawlSettingModels`), except those no scan
/// reads; a time-out, delay, thread count or request rate outside its range is refused. The
/// settings a scan reads from the application defaults go into `defaults`.
/// `registeredDefaults` types `--default` values where it has the key. `workingFolder` makes a
/// relative local target absolute.
HeadlessParse parseHeadlessArguments(const QStringList& arguments, const QVariantMap& crawlSettingModels,
    const QVariantMap& registeredDefaults, const QString& workingFolder);

/// `text` typed by its form: YES/NO (and true/false) as booleans, whole numbers as integers,
/// other numbers as reals, anything else as text.
QVariant valueByForm(const QString& text);

/// The usage text printed for `--help` and after a usage error.
QString usageText();

} // namespace crawlmere::app
