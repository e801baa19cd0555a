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
    /// `--columns help`: the column keys are listed.
    bool showColumnKeys = false;
    QString error;
    /// The error is about the target ("no such file", a settings file's extension in capitals):
    /// the command line was well formed, the scan cannot start.
    bool targetUnusable = false;
};

/// Reads `arguments` (without the program name). `crawlSettingModels` names the crawl settings
/// `--set` accepts and types their values (`CrwlUrl::crawlSettingModels`), except those no scan
/// reads; a time-out, delay, thread count or request rate outside its range is refused. The
/// settings a scan reads from the application defaults go into `defaults`.
/// `--default` takes the application defaults a user may set: the registered ones
/// (`registeredDefaults`, which types their values), the preferences (a value outside a
/// control's range or choices is refused) and the few the program reads unregistered; never the
/// keys the site list keeps (`ConfigManager::storeKeys`), nor a key no part of the program reads.
/// `workingFolder` makes a relative local target absolute. A target that names no file is a web
/// address unless it reads as a path: one that holds a space, starts with "/", "~/" or ".",
/// ends in an own document's extension, or whose first segment or folder is there.
HeadlessParse parseHeadlessArguments(const QStringList& arguments, const QVariantMap& crawlSettingModels,
    const QVariantMap& registeredDefaults, const QString& workingFolder);

/// `text` typed by its form: YES/NO (and true/false) as booleans, whole numbers as integers,
/// other numbers as reals, anything else as text.
QVariant valueByForm(const QString& text);

/// The usage text printed for `--help` and after a usage error.
QString usageText();

/// The text `--columns help` prints: every column key `--columns` takes, one a line.
QString columnKeysText();

} // namespace crawlmere::app
