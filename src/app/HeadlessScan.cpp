// One scan without windows, from the command line to the summary and the CSV.
#include "app/HeadlessScan.h"

#include "app/ApplicationDefaults.h"
#include "app/HeadlessArchiveExport.h"
#include "app/HeadlessShellServices.h"
#include "app/HubAssembly.h"
#include "app/InterruptWatcher.h"
#include "app/ScanStatusLine.h"
#include "archive/ArchiveExportController.h"
#include "archive/ArchiveWriter.h"
#include "engine/CrawlSettings.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "engine/TableView.h"
#include "engine/Z12Ara.h"
#include "engine/SettingsValue.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SiteValueCheck.h"
#include "settings/SpellingLanguages.h"
#include "sitemap/SitemapManager.h"
#include "views/ByLinkColumnManager.h"
#include "views/ByPageColumnManager.h"
#include "views/ByStatusColumnManager.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/FlatViewColumnManager.h"
#include "views/ScanControl.h"
#include "views/TableExportJob.h"
#include "views/TableExportSnapshot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMap>
#include <QTimer>

#include <tuple>

#include <unistd.h>

namespace crawlmere::app {

namespace {

void writeBytes(std::FILE* file, const QByteArray& bytes)
{
    if (!file || bytes.isEmpty())
        return;
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), file);
    std::fflush(file);
}

void writeLine(std::FILE* file, const QString& text) { writeBytes(file, text.toUtf8() + '\n'); }

/// A path as the summary names it: where the file really is (or would be, in its folder), with
/// a "sub/../" or a link on the way resolved as the system resolves it; as given when even its
/// folder is not there.
QString shownPath(const QString& path)
{
    const QFileInfo file(path);
    QString real = file.canonicalFilePath();
    if (real.isEmpty()) {
        if (const QString folder = file.dir().canonicalPath(); !folder.isEmpty())
            real = QDir(folder).filePath(file.fileName());
    }
    return QDir::toNativeSeparators(real.isEmpty() ? path : real);
}

QString plural(qint64 count, const char* singular, const char* pluralForm)
{
    return QStringLiteral("%1 %2").arg(QString::number(count), QLatin1String(count == 1 ? singular : pluralForm));
}

/// A site list file joins the site list as opening it in the main window does; nothing is
/// scanned. A file that cannot be read or holds no site says why and exits with 1.
int importSiteList(const QString& path, platform::UserDefaults& defaults, const HeadlessConsole& console)
{
    // Read here first only to say why a file cannot be used; the import reads it again.
    const auto read = settings::SiteValueCheck::readSettingsFile(path, QMetaType::QVariantList);
    if (!read.ok()) {
        writeLine(
            console.err, QStringLiteral("crawlmere: lcsbatch file %1 could not be read: %2").arg(path, read.error()));
        return kExitFailed;
    }
    const qsizetype entries = read.value().toList().size();
    if (entries == 0) {
        writeLine(console.err, QStringLiteral("crawlmere: lcsbatch file %1 appears to be empty").arg(path));
        return kExitFailed;
    }
    settings::ConfigManager sites(defaults);
    sites.applicationHasFinishedLaunching();
    const int added = sites.openLcsbatchFile(path);
    sites.applicationWillTerminate();
    // The import has said why its sites could not be stored.
    if (!sites.lastStoreFailure().isNull())
        return kExitFailed;
    writeLine(console.out,
        QStringLiteral("Sites added to the site list: %1 of %2 in %3; nothing was scanned.")
            .arg(QString::number(added), QString::number(entries), QDir::toNativeSeparators(path)));
    return kExitFinished;
}

} // namespace

HeadlessConsole HeadlessConsole::standard()
{
    HeadlessConsole console;
    console.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return console;
}

struct HeadlessScan::State {
    HeadlessOptions options;
    platform::UserDefaults& defaults;
    HeadlessConsole console;

    std::shared_ptr<Z12Ara> hub;
    std::shared_ptr<HeadlessPrompts> prompts;
    std::shared_ptr<archive::ArchiveWriter> archiveWriter;
    /// The site list, for a settings-file target: the site joins it and gets the finish stamp.
    std::shared_ptr<settings::ConfigManager> configManager;
    QEventLoop loop;
    QTimer statusTimer;
    ScanStatusLine statusLine;
    QElapsedTimer elapsed;
    bool ran = false;
    bool finished = false;
    bool interrupted = false;
    bool archiveIndexSaved = false;
    /// Ctrl-C after the scan finished: the export is cancelled, the rest still written.
    bool finishingInterrupted = false;
    HeadlessExportCancel exportCancel;
    QString archiveLine;
    QString archiveFailure;
    qint64 scanMilliseconds = -1; // the scan's own time when an archive export follows it

    State(HeadlessOptions o, platform::UserDefaults& store, HeadlessConsole c)
        : options(std::move(o))
        , defaults(store)
        , console(c)
        , statusLine(c.errIsTerminal)
    {
    }

    ScanStatusLine::Counts counts() const
    {
        return { hub->checkedLinkCount(), hub->queueLength(), hub->inProgressCount(), hub->badLinkCount() };
    }
    void showStatus()
    {
        if (const auto bytes = statusLine.update(counts(), elapsed.elapsed()))
            writeBytes(console.err, *bytes);
    }
    /// The `--default` values on the store for the run.
    void applyRunDefaults();
    /// An export that could never be saved is refused before the scan, not after it; false
    /// when one was (said on the console).
    bool exportsCanBeSaved() const;
    /// The scan's settings: the target's, a settings file's site joined to the site list, the
    /// `--set` values, the answer a URL list asks for and the spelling language. Null when
    /// the target cannot be scanned (said on the console); `siteStore` gets the site list.
    std::optional<QVariantMap> scanSettings(std::shared_ptr<ShellSiteStore>& siteStore);
    /// The hub made for the scan, wired to headless services and observed to its end.
    void assemble(const std::shared_ptr<ShellSiteStore>& siteStore);
    /// Runs the event loop, with the progress line, until the scan finishes or is stopped.
    void waitForEnd();
    /// Why the starting URL gave nothing to scan (no answer came, or it names nothing to fetch),
    /// or a null string when it answered.
    QString startFailure() const;
    /// After a finished scan: the archive export, and the finish stamped on a listed site.
    void finishScan(const std::shared_ptr<CrawlSettings>& settings);
    /// Writes every export asked for, then the summary; the exit status.
    int writeOutputs();
    bool writeCsv(QString* error) const;
    /// The exported link view as the window shows it: its columns as the window keeps them
    /// (shown, hidden and in their order), its rows filtered by the defaults.
    TableExportSnapshot viewSnapshot() const;
    /// Writes the view's CSV and HTML where asked; `failures` gets why one was not written.
    void writeViewExports(QMap<QString, QString>& failures);
    /// Writes the XML sitemap where asked, filled as the window fills its sitemap tab (pop-ups
    /// at their first items); false with `error` when a file cannot be written.
    bool writeSitemap(QString* error);
    /// The summary; `failures` holds, by export ("CSV", "HTML", "Sitemap"), why it was not written.
    void writeSummary(const QMap<QString, QString>& failures) const;
    std::optional<qsizetype> viewRows;
    /// Pages and files of the written sitemap, and the file to open: the index of several.
    struct SitemapWritten {
        qsizetype pages = 0;
        int files = 0;
        QString location;
    };
    std::optional<SitemapWritten> sitemapWritten;
    /// Why no sitemap file was written although one was asked for (no page to list), or null.
    QString sitemapNotWritten;
};

HeadlessScan::HeadlessScan(HeadlessOptions options, platform::UserDefaults& defaults, HeadlessConsole console)
    : d(std::make_unique<State>(std::move(options), defaults, console))
{
}

HeadlessScan::~HeadlessScan()
{
    platform::NotificationCenter::defaultCenter().removeObserver(d.get());
    if (d->hub) {
        // Records hold the hub weakly and the hub's tables hold the records: the scan goes first.
        // The archive stays for the next scan to replace.
        d->hub->setArchiveSink(nullptr);
        d->hub->clear();
        d->hub.reset();
    }
    for (auto it = d->options.defaults.cbegin(); it != d->options.defaults.cend(); ++it)
        d->defaults.setArgumentValue(it.key(), QVariant());
}

std::optional<QVariantMap> HeadlessScan::settingsForTarget(const HeadlessOptions& options, QString* error)
{
    // Only what the target gives: a key it lacks is completed as the window's scan completes it
    // (`CrwlUrl::scanSettingsFor`), the application's value first.
    QVariantMap settings;
    switch (options.targetKind) {
    case TargetKind::WebAddress:
    case TargetKind::LocalFile:
        settings.insert(crawlKey::startingUrl, options.startingUrl);
        return settings;
    case TargetKind::SiteListFile:
        if (error)
            *error = QStringLiteral("%1 is a site list: its sites are imported, not scanned").arg(options.target);
        return std::nullopt;
    case TargetKind::SettingsFile: {
        const auto read = settings::SiteValueCheck::readSettingsFile(options.target, QMetaType::QVariantMap);
        if (!read.ok()) {
            if (error)
                *error = QStringLiteral("lcsettings file %1 could not be read: %2").arg(options.target, read.error());
            return std::nullopt;
        }
        if (read.value().toMap().isEmpty()) {
            if (error)
                *error = QStringLiteral("lcsettings file %1 appears to be empty").arg(options.target);
            return std::nullopt;
        }
        // The import logs what it leaves out; a file it would refuse is logged here.
        const QVariantMap site = settings::SiteValueCheck::withoutLocalPaths(
            settings::SiteValueCheck::typedSite(read.value().toMap()));
        if (!settings::SiteValueCheck::hasUsableStartingUrl(site)) {
            settings::SiteValueCheck::typedSite(read.value().toMap(), options.target);
            if (error)
                *error = QStringLiteral("lcsettings file %1 holds no starting URL; nothing was imported")
                             .arg(options.target);
            return std::nullopt;
        }
        for (auto it = site.cbegin(); it != site.cend(); ++it)
            settings.insert(it.key(), it.value());
        return settings;
    }
    }
    return std::nullopt;
}

int HeadlessScan::run()
{
    Q_ASSERT_X(!d->ran, "HeadlessScan::run", "a scan object runs once");
    d->ran = true;
    d->applyRunDefaults();
    if (d->options.targetKind == TargetKind::SiteListFile)
        return importSiteList(d->options.target, d->defaults, d->console);
    if (!d->exportsCanBeSaved())
        return kExitFailed;
    std::shared_ptr<ShellSiteStore> siteStore;
    auto values = d->scanSettings(siteStore);
    if (!values)
        return kExitFailed;
    auto settings = std::make_shared<CrawlSettings>(std::move(*values));
    d->assemble(siteStore);

    std::unique_ptr<InterruptWatcher> watcher;
    if (d->console.watchInterrupt)
        watcher = std::make_unique<InterruptWatcher>([this] { interrupt(); });
    d->hub->setCrawlSettings(settings);
    d->elapsed.start();
    if (!d->hub->go()) {
        // The hub has written the reason (its log line or the alert it raised).
        const QString startingUrl = settings->value(crawlKey::startingUrl).toString().trimmed();
        writeLine(d->console.err,
            startingUrl.isEmpty() ? QStringLiteral("crawlmere: the scan could not start: no starting URL")
                                  : QStringLiteral("crawlmere: the scan of %1 could not start").arg(startingUrl));
        if (d->configManager)
            d->configManager->applicationWillTerminate();
        return kExitFailed;
    }
    d->waitForEnd();
    // The watcher stays through the finishing step: a first Ctrl-C there cancels the archive
    // export and the finished scan's exports are still written; a second ends the program.
    if (const QString failure = d->finished ? d->startFailure() : QString(); !failure.isNull()) {
        writeBytes(d->console.err, d->statusLine.finish(d->counts()));
        writeLine(d->console.err,
            QStringLiteral("crawlmere: the starting URL %1 could not be reached: %2")
                .arg(settings->value(crawlKey::startingUrl).toString(), failure));
        if (d->configManager)
            d->configManager->applicationWillTerminate();
        return kExitFailed;
    }
    writeBytes(d->console.err, d->statusLine.finish(d->counts()));
    d->finishScan(settings);
    const int status = d->writeOutputs();
    // A Ctrl-C while nothing was waiting for it (the exports being written) still counts.
    if (status == kExitFinished && watcher && watcher->wasInterrupted())
        return kExitInterrupted;
    return status;
}

void HeadlessScan::State::applyRunDefaults()
{
    for (auto it = options.defaults.cbegin(); it != options.defaults.cend(); ++it)
        defaults.setArgumentValue(it.key(), it.value());
    PunycodeAdditions::setPrecomposedStringWithCompatibilityMapping(
        defaults.value(defaultsKey::precomposedStringWithCompatibilityMapping));
}

bool HeadlessScan::State::exportsCanBeSaved() const
{
    for (const QString& target : { options.csvFile, options.htmlFile, options.sitemapFile }) {
        if (const QString refusal = platform::reasonNotToSaveAt(target); !refusal.isNull()) {
            writeLine(console.err, QStringLiteral("crawlmere: ") + platform::saveFailureText(target, refusal));
            return false;
        }
    }
    return true;
}

std::optional<QVariantMap> HeadlessScan::State::scanSettings(std::shared_ptr<ShellSiteStore>& siteStore)
{
    QString error;
    auto values = settingsForTarget(options, &error);
    if (!values) {
        writeLine(console.err, QStringLiteral("crawlmere: ") + error);
        return std::nullopt;
    }
    siteStore = std::make_shared<HeadlessSiteStore>(QString());
    if (options.targetKind == TargetKind::SettingsFile) {
        // The site joins the site list as opening its file in the main window does (a site
        // already listed is selected as stored); the scan takes the stored site's settings.
        configManager = std::make_shared<settings::ConfigManager>(defaults);
        configManager->applicationHasFinishedLaunching();
        if (!configManager->openLcsettingsFile(options.target)) {
            // A site that could not be stored has been said (once) by the import.
            if (configManager->lastStoreFailure().isNull())
                writeLine(console.err,
                    QStringLiteral("crawlmere: unsuccessful importing lcsettings file %1").arg(options.target));
            return std::nullopt;
        }
        const QVariantMap site = configManager->settingsForScan();
        for (auto it = site.cbegin(); it != site.cend(); ++it)
            values->insert(it.key(), it.value());
        siteStore = configManager;
    }
    // --set values change this scan's copy only, never the stored site.
    for (auto it = options.crawlSettings.cbegin(); it != options.crawlSettings.cend(); ++it)
        values->insert(it.key(), it.value());
    // Switching archiving on switches on the checks of images and linked files, as ticking
    // "Archive pages" in the window does: without them the archive holds no style sheet, script
    // or image, and its copy shows every page unstyled. A --set of either keeps its own value.
    if (engine::boolValue(options.crawlSettings.value(crawlKey::shouldArchive))) {
        for (const auto& key : { crawlKey::checkImages, crawlKey::linkedFiles }) {
            if (!options.crawlSettings.contains(key))
                values->insert(key, true);
        }
    }
    *values = CrwlUrl::scanSettingsFor(*values, defaults);
    prompts = std::make_shared<HeadlessPrompts>(console.err);
    if (options.targetKind == TargetKind::LocalFile && settings::ConfigManager::isUrlListPath(options.target)
        && !options.crawlSettings.contains(crawlKey::singlePage)) {
        // A URL list asks for its scope as it does in the window; the default answer, which the
        // prompt takes and shows, checks the listed URLs only.
        const int answer = prompts->runModalAlert(settings::ConfigManager::urlListScopeQuestion());
        values->insert(crawlKey::singlePage, answer == 0);
    }
    // The text checks of this scan use its site's spelling language; a language without a
    // dictionary is said before the scan starts.
    if (const QString notice = settings::SpellingLanguages::putScanLanguageOnChecker(*values); !notice.isNull())
        writeLine(console.err, QStringLiteral("crawlmere: ") + notice);
    return values;
}

void HeadlessScan::State::assemble(const std::shared_ptr<ShellSiteStore>& siteStore)
{
    hub = assembleHub(defaults);
    hub->setPrompts(prompts);
    hub->setConfigManager(siteStore);
    hub->setDiagnostic(std::make_shared<HeadlessDiagnostic>());
    archiveWriter = std::make_shared<archive::ArchiveWriter>(defaults);
    hub->setArchiveSink(archiveWriter);

    auto& center = platform::NotificationCenter::defaultCenter();
    const void* sender = hub.get();
    center.addObserver(
        this, Z12Ara::CrwlCrawlDidFinish,
        [this](const platform::Notification&) {
            finished = true;
            loop.quit();
        },
        sender);
    center.addObserver(
        this, Z12Ara::CrwlDidSaveArchiveIndex, [this](const platform::Notification&) { archiveIndexSaved = true; },
        sender);
    center.addObserver(
        this, Z12Ara::CrwlCrawlDidStop,
        [this](const platform::Notification&) {
            interrupted = true;
            loop.quit();
        },
        sender);
}

void HeadlessScan::State::waitForEnd()
{
    if (finished || interrupted)
        return;
    QObject::connect(&statusTimer, &QTimer::timeout, [this] { showStatus(); });
    statusTimer.start(ScanStatusLine::kTerminalIntervalMs);
    loop.exec();
    statusTimer.stop();
}

QString HeadlessScan::State::startFailure() const
{
    for (const qfDataSource::Item& item : hub->linksCollection()) {
        const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
        if (!record || !record->isStartingPoint())
            continue;
        // A start that answered (a response came, or a redirect) has been reached, whatever
        // became of it afterwards: a render given up, a body cut short, a redirect's target.
        if (record->getResponsetime() > 0 || !record->redirectArray().isEmpty())
            return {};
        const qint64 status = record->getStatus();
        switch (status) {
        case CrwlStatus::unableToMakeValidUrl:
        case CrwlStatus::fileIsDirectory:
        case CrwlStatus::fileDoesNotExist:
        case CrwlStatus::completedWithError:
        case CrwlStatus::unknownError:
            return record->descriptionForStatusCode(status);
        default:
            return {};
        }
    }
    return {};
}

void HeadlessScan::State::finishScan(const std::shared_ptr<CrawlSettings>& settings)
{
    if (finished && engine::settingBool(settings, crawlKey::shouldArchive)) {
        scanMilliseconds = elapsed.elapsed();
        const HeadlessArchiveResult archived
            = exportArchiveAfterScan(*hub, defaults, *archiveWriter, archiveIndexSaved, exportCancel);
        archiveLine = archived.line;
        archiveFailure = archived.failure;
    }
    if (!configManager)
        return;
    // A finished scan leaves the site what the main window writes: its status text, and the
    // site's own name in place of the placeholder name.
    if (finished) {
        settings::ConfigManager& store = *configManager;
        ScanControl::writeFinishToSite(
            *hub, QDateTime::currentDateTime(), QLocale::system(),
            [&store](const QString& text) { store.setStatusForCurrentSite(text); },
            [&store](const QString& name) { store.setNameIfStillDefault(name); });
    }
    configManager->applicationWillTerminate();
}

int HeadlessScan::State::writeOutputs()
{
    // Each export is tried whatever became of the others; the summary says which were written.
    QMap<QString, QString> failures;
    QString error;
    if (options.view != 0) {
        writeViewExports(failures);
    } else if (!options.csvFile.isEmpty() && !writeCsv(&error)) {
        failures.insert(QStringLiteral("CSV"), platform::saveFailureText(options.csvFile, error));
    }
    if (!options.sitemapFile.isEmpty() && !writeSitemap(&error))
        failures.insert(QStringLiteral("Sitemap"), error);
    for (const QString& failure : std::as_const(failures))
        writeLine(console.err, QStringLiteral("crawlmere: ") + failure);
    if (!archiveFailure.isNull())
        writeLine(console.err, QStringLiteral("crawlmere: ") + archive::ArchiveExportController::failureText(archiveFailure));
    writeSummary(failures);
    if (!failures.isEmpty() || !archiveFailure.isNull())
        return kExitFailed;
    return (interrupted && !finished) || finishingInterrupted ? kExitInterrupted : kExitFinished;
}

void HeadlessScan::interrupt()
{
    if (d->finished) {
        d->finishingInterrupted = true;
        d->exportCancel.request();
        return;
    }
    if (d->interrupted)
        return;
    d->interrupted = true;
    // stop: fetches in flight go back into the queue; what was found stays in the collection.
    if (d->hub && d->hub->isScanning())
        d->hub->stop();
    d->loop.quit();
}

bool HeadlessScan::State::writeCsv(QString* error) const
{
    QList<TableColumn> columns;
    for (const QString& key : options.columns)
        columns.append({ key, key, false });
    HeadlessTableView table(columns);
    platform::AtomicFile file(options.csvFile);
    if (!file.open()) {
        *error = file.error();
        return false;
    }
    if (!hub->writeCollectionAsCSVUsingTableViewHeaders(table, file.device()) || !file.commit()) {
        *error = file.error();
        return false;
    }
    return true;
}

namespace {

/// The column choice the window keeps for the view of `Manager` (shown and hidden columns,
/// their order), put on `table` as the window puts it on its own table.
template <typename Manager>
void applyStoredColumns(TableView& table, platform::UserDefaults& defaults)
{
    Manager manager(&defaults);
    manager.setTableView(&table);
    manager.setUpColumns();
}

} // namespace

TableExportSnapshot HeadlessScan::State::viewSnapshot() const
{
    // Filled as the window fills the view when a scan ends.
    QList<qfDataSource::Item> occurrences;
    if (options.view == 3 || options.view == 4) {
        occurrences.reserve(qsizetype(hub->instanceCollection().size()));
        for (const Z12Ara::InstancePtr& occurrence : hub->instanceCollection())
            occurrences.append(qfDataSource::Item(occurrence));
    }
    switch (options.view) {
    case 2: {
        HeadlessTableView outline(views::CrwlByPageDataSource::columns().tableColumns());
        applyStoredColumns<ByPageColumnManager>(outline, defaults);
        views::CrwlByPageDataSource byPage;
        byPage.setOutlineView(&outline);
        byPage.clear();
        byPage.setInternalPageArray(hub->internalPagesCollection());
        byPage.filter();
        return TableExportSnapshot::fromOutline(byPage, outline, &views::CrwlByPageDataSource::labelForItem);
    }
    case 3: {
        HeadlessTableView outline(views::CrwlByStatusDataSource::columns().tableColumns());
        applyStoredColumns<ByStatusColumnManager>(outline, defaults);
        views::CrwlByStatusDataSource byStatus;
        byStatus.setOutlineView(&outline);
        byStatus.clear();
        byStatus.setCollection(occurrences);
        byStatus.filter();
        return TableExportSnapshot::fromOutline(byStatus, outline, &views::CrwlByStatusDataSource::labelForItem);
    }
    case 4: {
        HeadlessTableView table(views::CrwlFlatViewDataSource::columns().tableColumns());
        applyStoredColumns<FlatViewColumnManager>(table, defaults);
        views::CrwlFlatViewDataSource flat;
        flat.setTableView(&table);
        flat.clear();
        flat.setCollection(occurrences);
        flat.filter();
        return TableExportSnapshot::fromTable(flat, table);
    }
    default:
        break;
    }
    CrwlByLinkDataSource byLink;
    byLink.setCollection(hub->linksCollection());
    byLink.filter();
    HeadlessTableView table(CrwlByLinkDataSource::defaultColumns());
    applyStoredColumns<ByLinkColumnManager>(table, defaults);
    return TableExportSnapshot::fromTable(byLink, table);
}

void HeadlessScan::State::writeViewExports(QMap<QString, QString>& failures)
{
    const TableExportSnapshot snapshot = viewSnapshot();
    viewRows = snapshot.rows.size();
    const std::tuple<QString, const QString&, TableExportJob::Format> exports[] = {
        { QStringLiteral("CSV"), options.csvFile, TableExportJob::Format::Csv },
        { QStringLiteral("HTML"), options.htmlFile, TableExportJob::Format::Html },
    };
    for (const auto& [name, path, format] : exports) {
        if (path.isEmpty())
            continue;
        if (const auto failure = TableExportJob::write(snapshot, format, qfDataSource::csvQuoteEscapeOption(), path))
            failures.insert(name, platform::saveFailureText(path, *failure));
    }
}

bool HeadlessScan::State::writeSitemap(QString* error)
{
    sitemap::SitemapManager manager(defaults);
    manager.setCrawlSettings(hub->getCrawlSettings()->snapshot());
    manager.setCollection(hub->internalPagesCollection());
    manager.setImagesCollection(hub->imageCollection());
    const qsizetype pages = manager.getSitemapCollectionCount();
    const QStringList documents = manager.getXMLSitemap();
    QString location;
    if (!documents.isEmpty() && !manager.saveXMLDocumentsTo(documents, options.sitemapFile, &location)) {
        const auto& failure = manager.lastSaveFailure();
        *error = failure ? platform::saveFailureText(failure->path, failure->reason)
                         : QStringLiteral("cannot write the sitemap %1").arg(options.sitemapFile);
        return false;
    }
    if (documents.isEmpty()) {
        // The window says why its sitemap is empty; so does the summary, in its one line.
        QStringList leftOut;
        if (const qsizetype canonical = manager.getExcludedFromSitemapBecauseCanonical())
            leftOut << plural(
                canonical, "page whose canonical URL is another page", "pages whose canonical URL is another page");
        if (const qsizetype noIndex = manager.getExcludedFromSitemapBecauseNoIndex())
            leftOut << plural(noIndex, "page marked noindex", "pages marked noindex");
        sitemapNotWritten = leftOut.isEmpty()
            ? QStringLiteral("the scan found no good internal page to list")
            : QStringLiteral("every page was left out (%1)").arg(leftOut.join(QStringLiteral(", ")));
        return true;
    }
    sitemapWritten = SitemapWritten { pages, int(documents.size()), location };
    return true;
}

void HeadlessScan::State::writeSummary(const QMap<QString, QString>& failures) const
{
    const double seconds = static_cast<double>(scanMilliseconds >= 0 ? scanMilliseconds : elapsed.elapsed()) / 1000.0;
    const qint64 checked = hub->checkedLinkCount();
    const qint64 found = hub->linksCollection().size();
    const QString startingUrl = hub->getCrawlSettings()->value(crawlKey::startingUrl).toString();

    QStringList lines;
    lines << (finished || !interrupted ? QStringLiteral("Scan finished: %1")
                                       : QStringLiteral("Scan stopped (Ctrl-C): %1"))
                 .arg(startingUrl);
    lines << QStringLiteral("URLs found: %1").arg(found);
    lines << QStringLiteral("URLs checked: %1").arg(checked);
    // Links that answered but whose #fragment their page lacks count as bad: say how many.
    qint64 missingFragments = 0;
    for (const auto& item : hub->linksCollection()) {
        if (const auto* record = dynamic_cast<const CrwlUrl*>(item.get());
            record && record->getLinksAnchorDoesntAppearOnTargetPage())
            ++missingFragments;
    }
    lines << QStringLiteral("Bad links: %1").arg(hub->badLinkCount());
    if (missingFragments > 0)
        lines << QStringLiteral("Bad links with no such #fragment on the page: %1").arg(missingFragments);
    lines << QStringLiteral("Pages: %1").arg(hub->pageCount());
    lines << QStringLiteral("Time: %1 s (%2 URLs/s)")
                 .arg(seconds, 0, 'f', 2)
                 .arg(seconds > 0 ? static_cast<double>(checked) / seconds : 0.0, 0, 'f', 1);
    const qint64 rows = viewRows.value_or(found);
    const std::pair<QString, const QString&> tables[] = {
        { QStringLiteral("CSV"), options.csvFile },
        { QStringLiteral("HTML"), options.htmlFile },
    };
    for (const auto& [name, path] : tables) {
        if (path.isEmpty())
            continue;
        if (failures.contains(name))
            lines << QStringLiteral("%1: not written: %2").arg(name, failures.value(name));
        else
            lines << QStringLiteral("%1: %2 (%3)").arg(name, shownPath(path), plural(rows, "row", "rows"));
    }
    if (!archiveLine.isEmpty())
        lines << archiveLine;
    if (failures.contains(QStringLiteral("Sitemap")))
        lines << QStringLiteral("Sitemap: not written: %1").arg(failures.value(QStringLiteral("Sitemap")));
    else if (sitemapWritten && sitemapWritten->files > 1)
        lines << QStringLiteral("Sitemap: %1 (the index of %2, %3)")
                     .arg(shownPath(sitemapWritten->location), plural(sitemapWritten->files, "part", "parts"),
                         plural(sitemapWritten->pages, "page", "pages"));
    else if (sitemapWritten)
        lines << QStringLiteral("Sitemap: %1 (%2, 1 file)")
                     .arg(shownPath(sitemapWritten->location), plural(sitemapWritten->pages, "page", "pages"));
    else if (!sitemapNotWritten.isNull())
        lines << QStringLiteral("Sitemap: no file written to %1: %2")
                     .arg(shownPath(options.sitemapFile), sitemapNotWritten);
    writeBytes(console.out, lines.join(QLatin1Char('\n')).toUtf8() + '\n');
}

int runHeadlessCommand(const QStringList& arguments, const HeadlessConsole& console, bool displayAvailable)
{
    auto& defaults = platform::UserDefaults::standard();
    registerApplicationDefaults(defaults);
    const HeadlessParse parse = parseHeadlessArguments(
        arguments, CrwlUrl::crawlSettingModels(), defaults.registeredDefaults(), QDir::currentPath());
    if (parse.showHelp) {
        writeBytes(console.out, usageText().toUtf8());
        return kExitFinished;
    }
    if (parse.showVersion) {
        writeLine(console.out, QStringLiteral("Crawlmere %1").arg(QLatin1String(CRAWLMERE_VERSION)));
        return kExitFinished;
    }
    if (parse.showColumnKeys) {
        writeBytes(console.out, columnKeysText().toUtf8());
        return kExitFinished;
    }
    if (parse.targetUnusable) {
        writeLine(console.err, QStringLiteral("crawlmere: ") + parse.error);
        return kExitFailed;
    }
    if (!parse.options) {
        writeBytes(
            console.err, QByteArrayLiteral("crawlmere: ") + parse.error.toUtf8() + "\n\n" + usageText().toUtf8());
        return kExitUsage;
    }
    // A store this user cannot read is someone's all the same: nothing runs on an empty one.
    if (const QString unreadable = defaults.readFailure(); !unreadable.isNull()) {
        writeLine(console.err, QStringLiteral("crawlmere: ") + unreadableDefaultsText(unreadable));
        return kExitFailed;
    }
    if (displayAvailable && !parse.options->headless)
        writeLine(console.err,
            QStringLiteral("crawlmere: a target on the command line is scanned without windows; "
                           "start crawlmere without one to open the main window"));
    prepareDefaultsForLaunch(defaults);

    HeadlessScan scan(*parse.options, defaults, console);
    return scan.run();
}

} // namespace crawlmere::app
