// The site configuration store: selection, persistence, the site actions and the current-site
// interface of the crawl and the shell.
#include "settings/ConfigManager.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettingTable.h"

#include "platform/StoredValue.h"

#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"
#include "settings/SpellingLanguages.h"
#include "settings/ThumbGetter.h"
#include "settings/ThumbGetterFactory.h"
#include "settings/detail/SiteListKeys.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace crawlmere::settings {

using detail::kFolder;
using detail::kFolderList;
using detail::kId;
using detail::kName;
using detail::kWebsites;
using platform::logLine;
namespace strings = platform::strings;

namespace {

} // namespace

ConfigView::~ConfigView() = default;

ConfigManager::ConfigManager(platform::UserDefaults& defaults)
    : m_defaults(defaults)
    , m_rules(4)
{
}

ConfigManager::~ConfigManager() = default;

void ConfigManager::setView(ConfigView* view) { m_view = view; }
void ConfigManager::setScanningPredicate(std::function<bool()> scanning) { m_scanning = std::move(scanning); }
void ConfigManager::setPrompts(std::shared_ptr<ShellPrompts> prompts) { m_prompts = std::move(prompts); }
void ConfigManager::setClearAllDataSources(std::function<void()> clear) { m_clearAllDataSources = std::move(clear); }
bool ConfigManager::isScanning() const { return m_scanning && m_scanning(); }

int ConfigManager::alert(const ShellAlert& question) const
{
    return m_prompts ? m_prompts->runModalAlert(question) : 0;
}

void ConfigManager::beep() const
{
    if (m_prompts)
        m_prompts->beep();
}

// ----- start-up and end ----------------------------------------------------------------------

void ConfigManager::applicationHasFinishedLaunching()
{
    if (m_woken)
        return;
    m_folderSorting = m_defaults.value(defaultsKey::CrwlFolderSorting);
    fetchWebsitesArray();
    purgeFolderList();
    populateFolderMenus();
    buildDatasourceArray();
    if (m_view)
        m_view->reloadSiteList();
    load();
    if (m_view)
        m_view->markSelectedSort(m_defaults.value(defaultsKey::websitesSortKey));
    m_woken = true;
    if (m_view)
        m_view->reloadRuleTables();
    m_defaults.setBool(false, defaultsKey::htmlValidationEnabled);
}

void ConfigManager::applicationWillTerminate()
{
    if (m_dirty)
        synchronise();
    m_defaults.synchronize();
}

// ----- store and selection -------------------------------------------------------------------

void ConfigManager::load()
{
    auto site = settingsForID(m_defaults.stringForKey(kId));
    if (!site)
        site = m_websites.isEmpty() ? getBlankSettings() : m_websites.first();
    m_current = *site;
    m_tableViewEmbargoed = true;
    selectCurrentSettingsInInterfaceIfPossible();
    m_tableViewEmbargoed = false;
    implementCurrentSettings();
}

void ConfigManager::fetchWebsitesArray()
{
    m_websites.clear();
    for (const QVariant& entry : m_defaults.arrayForKey(kWebsites)) {
        if (entry.typeId() == QMetaType::QVariantMap)
            m_websites.append(withRuleLists(entry.toMap()));
    }
    if (m_websites.isEmpty()) {
        m_websites.append(getBlankSettings());
        m_defaults.setObject(m_websites.first().value(kId), kId);
    }
}

std::optional<QVariantMap> ConfigManager::settingsForID(const QString& siteID) const
{
    const qsizetype index = indexOfWebsiteWithID(siteID);
    if (index < 0)
        return std::nullopt;
    return m_websites.at(index);
}

qsizetype ConfigManager::indexOfWebsiteWithID(const QString& siteID) const
{
    if (siteID.isEmpty())
        return -1;
    for (qsizetype i = 0; i < m_websites.size(); ++i) {
        if (m_websites.at(i).value(kId).toString() == siteID)
            return i;
    }
    return -1;
}

QVariantMap ConfigManager::getBlankSettings()
{
    QVariantMap site = CrwlUrl::defaultCrawlSettings();
    for (const QString& key : newSiteDefaultKeys()) {
        const QVariant chosen = m_defaults.objectForKey(key);
        if (chosen.isValid())
            site.insert(key, chosen);
    }
    site.insert(crawlKey::startingUrl, QStringLiteral("https://"));
    site.insert(kName, kNewSiteName);
    site.insert(kId, newFilename());
    site.insert(QStringLiteral("sitemapRules"), QVariantList());
    return site;
}

const QStringList& ConfigManager::newSiteDefaultKeys()
{
    static const QStringList keys = [] {
        QStringList applicationWide;
        for (const engine::CrawlSetting& setting : engine::crawlSettingTable()) {
            if (setting.applicationWide)
                applicationWide.append(setting.key);
        }
        return applicationWide;
    }();
    return keys;
}

QString ConfigManager::newFilename(const QSet<QString>& taken)
{
    // The counter restarts with each process: another process (or an earlier run in the same
    // second) may have listed the same id already, so the counter moves on until it is free.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString siteID;
    do {
        ++m_uniqueCounter;
        siteID = stamp + QString::number(m_uniqueCounter);
    } while (indexOfWebsiteWithID(siteID) >= 0 || m_current.value(kId).toString() == siteID || taken.contains(siteID));
    return siteID;
}

void ConfigManager::makeCurrentSettingsFromUserSelectedWebsite()
{
    const auto site = settingsForDataSourceRow(m_selectedRow);
    m_current = site ? *site : CrwlUrl::defaultCrawlSettings();
    if (m_current.contains(kId))
        m_defaults.setObject(m_current.value(kId), kId);
    else
        m_defaults.removeObjectForKey(kId);
}

std::optional<QVariantMap> ConfigManager::settingsForDataSourceRow(int row) const
{
    if (row <= 0 || row >= m_rows.size() || m_rows.at(row).isHeader())
        return std::nullopt;
    return settingsForID(m_rows.at(row).ID);
}

std::optional<QVariantMap> ConfigManager::getSettingsInWaiting() const
{
    if (auto above = settingsForDataSourceRow(m_selectedRow - 1))
        return above;
    return settingsForDataSourceRow(m_selectedRow + 1);
}

// ----- persistence ---------------------------------------------------------------------------

void ConfigManager::synchronise()
{
    copyInterfaceToCurrentSettings();
    pushCurrentSettingsToWebsites();
    pushWebsitesToDefaults();
}

QVariantMap ConfigManager::currentSettings()
{
    if (m_dirty)
        synchronise();
    return m_current;
}

QVariantMap ConfigManager::settingsForScan()
{
    QVariantMap settings = currentSettings();
    m_scanSiteID = settings.value(kId).toString();
    return settings;
}

void ConfigManager::copyInterfaceToCurrentSettings()
{
    if (!m_dirty)
        return;
    saveRules();
    if (m_view)
        m_view->copyInterfaceToSettings(m_current);
    m_dirty = false;
}

void ConfigManager::pushCurrentSettingsToWebsites()
{
    const QString currentID = m_current.value(kId).toString();
    if (m_current.isEmpty() || currentID.isEmpty())
        return;
    const QString storedID = m_defaults.stringForKey(kId);
    if (!storedID.isNull() && storedID != currentID)
        logLine(1,
            QStringLiteral(
                "[defaults objectForKey:@\"id\"] (%1)  and [currentSettings objectForKey:@\"id\"] (%2) do not match!")
                .arg(storedID, currentID));
    else
        logLine(2, QStringLiteral("pushing %1").arg(currentID));
    const qsizetype index = indexOfWebsiteWithID(currentID);
    if (index >= 0) {
        m_websites[index] = m_current;
    } else {
        logLine(1, QStringLiteral("unable to find current settings in websites"));
        m_websites.insert(0, m_current);
    }
    logLine(2, QStringLiteral("push done"));
}

void ConfigManager::pushWebsitesToDefaults()
{
    QVariantList list;
    list.reserve(m_websites.size());
    for (const QVariantMap& site : std::as_const(m_websites))
        list.append(site);
    m_defaults.setObject(list, kWebsites);
}

void ConfigManager::implementCurrentSettings()
{
    if (m_view)
        m_view->resetGoTitle();
    loadRules();
    if (m_view) {
        m_view->reloadRuleTables();
        m_view->showSettings(m_current);
    }
    // Text checks use the shown site's spelling language.
    SpellingLanguages::putSiteLanguageOnChecker(m_current);
    // The link highlighter reads the shown site's setting from the defaults store: the site's
    // value, or its default when it holds none (never the previous site's).
    const QString trimQuery = crawlKey::trimQuery;
    m_defaults.setObject(m_current.value(trimQuery, CrwlUrl::defaultCrawlSettings().value(trimQuery)), trimQuery);
    if (m_current.contains(kId))
        m_defaults.setObject(m_current.value(kId), kId);
    else
        m_defaults.removeObjectForKey(kId);
    if (m_view) {
        m_view->setMainWindowTitle(m_current.value(crawlKey::startingUrl).toString());
        m_view->selectOptionsTab();
    }
    m_dirty = false;
}

// ----- actions -------------------------------------------------------------------------------

void ConfigManager::newConfigWithURL(const QString& url)
{
    if (isScanning())
        return;
    synchronise();
    if (m_view)
        m_view->bringWindowToFront();
    const QString folder = openFolder();
    m_current = getBlankSettings();
    if (!url.isEmpty())
        m_current.insert(crawlKey::startingUrl, PunycodeAdditions::decodedURLString(url));
    if (!folder.isEmpty())
        m_current.insert(kFolder, folder);
    implementCurrentSettings();
    pushCurrentSettingsToWebsites();
    // Written at once, so a site made just before quitting is kept.
    pushWebsitesToDefaults();
    rebuildDataSourceAndReloadTableView();
    if (m_clearAllDataSources)
        m_clearAllDataSources();
}

void ConfigManager::duplicateSelectedConfig(int clickedRow)
{
    if (isScanning())
        return;
    synchronise();
    if (m_view)
        m_view->bringWindowToFront();
    const auto source = settingsForDataSourceRow(clickedRow);
    if (!source)
        return;
    QVariantMap copy = getBlankSettings();
    for (auto it = source->cbegin(); it != source->cend(); ++it) {
        if (it.key() != kId)
            copy.insert(it.key(), it.value());
    }
    m_current = copy;
    implementCurrentSettings();
    pushCurrentSettingsToWebsites();
    pushWebsitesToDefaults();
    rebuildDataSourceAndReloadTableView();
}

void ConfigManager::deleteURL()
{
    if (isScanning()) {
        beep();
        return;
    }
    const int answer = alert({ .messageText = QStringLiteral("Delete Configuration"),
        .informativeText = QStringLiteral("Are you sure that you want to delete the currently selected configuration?"),
        .buttons = { QStringLiteral("Continue"), QStringLiteral("Cancel") },
        .cancelButton = 1 });
    if (answer != 0)
        return;
    const auto next = getSettingsInWaiting();
    const qsizetype index = indexOfWebsiteWithID(m_current.value(kId).toString());
    if (index < 0)
        return;
    m_websites.removeAt(index);
    pushWebsitesToDefaults();
    if (!m_websites.isEmpty()) {
        if (next && next->contains(kId))
            m_defaults.setObject(next->value(kId), kId);
        m_current = next ? *next : QVariantMap();
    } else {
        m_defaults.removeObjectForKey(kId);
        m_current.clear();
    }
    fetchWebsitesArray();
    buildDatasourceArray();
    if (m_view)
        m_view->reloadSiteList();
    load();
}

void ConfigManager::returnToDefaultSettings()
{
    if (isScanning())
        return;
    if (m_view)
        m_view->bringWindowToFront();
    QVariantMap kept;
    for (const QString& key : { QString(crawlKey::startingUrl), kId, kFolder }) {
        if (m_current.contains(key))
            kept.insert(key, m_current.value(key));
    }
    m_current = getBlankSettings();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        m_current.insert(it.key(), it.value());
    implementCurrentSettings();
    // Stored at once, as any edit is, and the site list shows the name the reset gave.
    pushCurrentSettingsToWebsites();
    pushWebsitesToDefaults();
    rebuildDataSourceAndReloadTableView();
}

void ConfigManager::newLanguageSelected(const QString& displayName)
{
    SpellingLanguages::putOnChecker(displayName);
    m_dirty = true;
}

void ConfigManager::handleControl(const QString& key)
{
    // The controls over the site's values over the defaults, so that a control left as shown
    // (which stores nothing) still reads as the value it shows.
    QVariantMap shown = CrwlUrl::defaultCrawlSettings();
    shown.insert(m_current);
    if (m_view)
        m_view->copyInterfaceToSettings(shown);
    if (key == crawlKey::shouldArchive && crawlmere::platform::boolValue(shown.value(key))
        && (!crawlmere::platform::boolValue(shown.value(crawlKey::checkImages))
            || !crawlmere::platform::boolValue(shown.value(crawlKey::linkedFiles)))) {
        alert({ QStringLiteral("Images and linked files required"),
            QStringLiteral("In order to fully archive the site, images and linked files must be enabled. They'll be "
                           "switched on now but you can switch them off again if you don't need to check them and "
                           "don't need them in your archive."),
            { QStringLiteral("OK") } });
        if (m_view) {
            m_view->setCheckbox(crawlKey::checkImages, true);
            m_view->setCheckbox(crawlKey::linkedFiles, true);
        }
    }
    if (key == defaultsKey::exportEntireSite_Process.view() || key == defaultsKey::exportEntireSite_Preserve.view()) {
        const bool process = key == defaultsKey::exportEntireSite_Process.view();
        m_defaults.setBool(process, defaultsKey::exportEntireSite_Process);
        m_defaults.setBool(!process, defaultsKey::exportEntireSite_Preserve);
    }
    if (key == crawlKey::startingUrl && sitesTableIconSize() > 0)
        getThumbForWebsite(m_current, true);
    if (key == crawlKey::trimQuery && crawlmere::platform::boolValue(shown.value(key)) && m_view)
        m_view->setCheckbox(crawlKey::shouldTrimHash, false);
    m_dirty = true;
}

void ConfigManager::controlTextShouldBeginEditing(const QString& key, const QString& text)
{
    if (key == crawlKey::startingUrl) {
        if (text != u"https://" && !text.isEmpty() && m_websites.isEmpty()) {
            logLine(0, QStringLiteral("no websites, shouldn't happen. Creating new"));
            newConfig();
        } else {
            m_dirty = true;
        }
    } else if (key == crawlKey::linksLimit || key == crawlKey::levelsLimit || key == crawlKey::occurrencesLimit) {
        m_dirty = true;
    }
}

void ConfigManager::controlTextDidChange(const QString& text)
{
    if (m_selectedRow > 0 && m_selectedRow < m_rows.size() && !m_rows.at(m_selectedRow).isHeader()) {
        m_rows[m_selectedRow].startingUrl = text;
        if (m_view)
            m_view->reloadSiteRow(m_selectedRow);
    }
    if (m_view)
        m_view->setMainWindowTitle(text);
    m_dirty = true;
}

void ConfigManager::showStartingUrl(const QString& url)
{
    if (!m_view)
        return;
    m_view->setUrlFieldText(url);
    m_view->setMainWindowTitle(url);
}

void ConfigManager::controlTextDidEndEditing(const QString& text)
{
    if (text == m_current.value(crawlKey::startingUrl).toString())
        return;
    synchronise();
    rebuildDataSourceAndReloadTableView();
    if (m_view)
        m_view->setMainWindowTitle(text);
}

RequestRate ConfigManager::recalcDelay(bool limitRPM, int maxRPM, int threads)
{
    RequestRate rate;
    rate.threads = threads;
    if (!limitRPM) {
        rate.delay = 0.0;
        rate.maxRPM = 2000;
        rate.maxRPMEnabled = false;
        return rate;
    }
    rate.maxRPMEnabled = true;
    // A rate below the lowest the scan uses is shown and used as that lowest.
    const int lowest = int(engine::crawlSettingRange(crawlKey::maxRPM).lowest);
    int r = maxRPM < lowest ? lowest : maxRPM;
    rate.maxRPM = r;
    int t = std::max(threads, 1);
    const auto delayFor = [r](int count) {
        const int quotient = r / count;
        return quotient == 0 ? std::numeric_limits<float>::infinity() : 60.0f / static_cast<float>(quotient);
    };
    float delay = delayFor(t);
    if (delay > 3.0f && t >= 4) {
        if (t >= 19) {
            t = 18;
            delay = delayFor(t);
        }
        if (delay > 3.0f && t >= 13) {
            t = 12;
            delay = delayFor(t);
        }
        if (delay > 3.0f && t >= 9) {
            t = 8;
            delay = delayFor(t);
        }
        if (delay > 3.0f) {
            t = 3;
            delay = delayFor(t);
        }
        rate.threads = t;
    }
    rate.delay = delay;
    logLine(2,
        QStringLiteral("delay is set to %1, max threads is %2, max requests per min is %3")
            .arg(delay, 0, 'f', 3)
            .arg(t)
            .arg(r));
    return rate;
}

void ConfigManager::followApplicationSettings()
{
    if (m_view)
        m_view->followApplicationSettings(m_current);
}

void ConfigManager::storeDelay(double delay)
{
    if (std::isfinite(delay))
        m_current.insert(crawlKey::delay, delay);
    m_dirty = true;
}

QString ConfigManager::textContentOptionsWarning(int searchEntireSourceColumn) const
{
    return textContentOptionsWarning(m_defaults, searchEntireSourceColumn);
}

QString ConfigManager::textContentOptionsWarning(const platform::UserDefaults& defaults, int searchEntireSourceColumn)
{
    logLine(1, QStringLiteral("configManager handlePreferenceControl:"));
    const bool ignoring = defaults.value(defaultsKey::parserContentOnlyParas)
        || defaults.value(defaultsKey::parserContentIgnoreNav)
        || defaults.value(defaultsKey::parserContentIgnoreHeader);
    if (!ignoring || searchEntireSourceColumn != 1)
        return QString();
    return QStringLiteral("Some text content 'ignore' options are enabled in Preferences > Text content");
}

QString ConfigManager::visitSelected(int row) const
{
    const auto site = settingsForDataSourceRow(row);
    return site ? validateStartingUrl(site->value(crawlKey::startingUrl).toString()) : QString();
}

// ----- current site --------------------------------------------------------------------------

QString ConfigManager::getIDForCurrentSite() const { return m_current.value(kId).toString(); }
QString ConfigManager::getNameForCurrentSite() const { return m_current.value(kName).toString(); }
QString ConfigManager::getStartingURLForCurrentSite() const
{
    return m_current.value(crawlKey::startingUrl).toString();
}

QVariantMap* ConfigManager::writeBackTarget(bool* isCurrent)
{
    *isCurrent = m_scanSiteID.isEmpty() || m_scanSiteID == m_current.value(kId).toString();
    if (*isCurrent)
        return &m_current;
    const qsizetype index = indexOfWebsiteWithID(m_scanSiteID);
    return index < 0 ? nullptr : &m_websites[index];
}

void ConfigManager::finishWriteBack(bool isCurrent)
{
    if (isCurrent)
        m_dirty = true;
    else
        pushWebsitesToDefaults();
}

void ConfigManager::setNewStartingurl(const QString& url)
{
    if (url.isEmpty())
        return;
    bool isCurrent = false;
    QVariantMap* site = writeBackTarget(&isCurrent);
    if (!site)
        return;
    if (isCurrent)
        showStartingUrl(url);
    site->insert(crawlKey::startingUrl, url);
    finishWriteBack(isCurrent);
    rebuildDataSourceAndReloadTableView();
}

void ConfigManager::switchWordpressUrlsOn(bool on)
{
    bool isCurrent = false;
    QVariantMap* site = writeBackTarget(&isCurrent);
    if (!site)
        return;
    site->insert(crawlKey::wordpressUrls, on);
    if (isCurrent && m_view)
        m_view->setCheckbox(crawlKey::wordpressUrls, on);
    finishWriteBack(isCurrent);
}

void ConfigManager::setTimeStampForCurrentSite()
{
    bool isCurrent = false;
    QVariantMap* site = writeBackTarget(&isCurrent);
    if (!site)
        return;
    site->insert(QStringLiteral("dateStamp"), m_now());
    if (isCurrent) {
        // The list gets the stamp at once, so sorting by date sees it and a quit keeps it.
        pushCurrentSettingsToWebsites();
    }
    pushWebsitesToDefaults();
    if (sortKey() == u"dateStamp")
        setSortingByDate();
}

void ConfigManager::setStatusForCurrentSite(const QString& status)
{
    bool isCurrent = false;
    QVariantMap* site = writeBackTarget(&isCurrent);
    if (!site)
        return;
    if (isCurrent && m_view)
        m_view->setStatusText(status);
    site->insert(QStringLiteral("status"), status);
    finishWriteBack(isCurrent);
}

bool ConfigManager::setNameIfStillDefault(const QString& name)
{
    bool isCurrent = false;
    QVariantMap* site = writeBackTarget(&isCurrent);
    if (!site || site->value(kName).toString() != kNewSiteName)
        return false;
    site->insert(kName, name);
    if (isCurrent)
        synchronise();
    else
        pushWebsitesToDefaults();
    rebuildDataSourceAndReloadTableView();
    if (isCurrent)
        m_dirty = true;
    return true;
}

void ConfigManager::setCrawlsSinglePage(bool on)
{
    if (m_view)
        m_view->setCheckbox(crawlKey::singlePage, on);
    m_current.insert(crawlKey::singlePage, on);
    m_dirty = true;
}

bool ConfigManager::isUrlListPath(const QString& path)
{
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}

ConfigManager::OwnDocument ConfigManager::ownDocumentOf(const QString& path)
{
    const QString extension = QFileInfo(path).suffix();
    if (extension == u"lcsettings")
        return OwnDocument::SiteSettings;
    if (extension == u"lcsbatch")
        return OwnDocument::SiteList;
    return OwnDocument::None;
}

bool ConfigManager::hasOwnExtensionInOtherCase(const QString& path)
{
    const QString extension = QFileInfo(path).suffix();
    return ownDocumentOf(path) == OwnDocument::None
        && (extension.compare(u"lcsettings", Qt::CaseInsensitive) == 0
            || extension.compare(u"lcsbatch", Qt::CaseInsensitive) == 0);
}

const QStringList& ConfigManager::storeKeys()
{
    static const QStringList keys { kWebsites, kId, kFolderList, defaultsKey::CrwlFolderSorting,
        defaultsKey::websitesSortKey, defaultsKey::smartFolderSelected, crawlKey::trimQuery };
    return keys;
}

ShellAlert ConfigManager::urlListScopeQuestion()
{
    return { QStringLiteral("List of urls: scope"),
        QStringLiteral("do you want to just check the urls within this list, or follow each url in this list?"),
        { QStringLiteral("Just the URLs in the list"), QStringLiteral("Follow and scan") } };
}

void ConfigManager::setCurrentSettingsValues(const QVariantMap& values)
{
    m_current.insert(values);
    m_dirty = true;
}

void ConfigManager::setArchiveSaveLocation(const QString& path)
{
    if (path.isNull())
        return;
    bool isCurrent = false;
    QVariantMap* site = writeBackTarget(&isCurrent);
    if (!site)
        return;
    site->insert(crawlKey::archiveSaveLocation, path);
    finishWriteBack(isCurrent);
}

void ConfigManager::setSettingsValues(const QString& siteId, const QVariantMap& values)
{
    const bool isCurrent = siteId.isEmpty() || siteId == m_current.value(kId).toString();
    const qsizetype index = isCurrent ? -1 : indexOfWebsiteWithID(siteId);
    QVariantMap* site = isCurrent ? &m_current : (index < 0 ? nullptr : &m_websites[index]);
    if (!site)
        return;
    site->insert(values);
    finishWriteBack(isCurrent);
}

void ConfigManager::setArchiveSaveLocation(const QString& siteId, const QString& path)
{
    if (path.isNull() || siteId.isEmpty())
        return;
    setSettingsValues(siteId, { { crawlKey::archiveSaveLocation, path } });
}

QString ConfigManager::filenameFromCurrentStartingURL() const
{
    QString name = getStartingURLForCurrentSite();
    name.remove(QStringLiteral("http://"));
    name.remove(QStringLiteral("https://"));
    static const QString replaced = QStringLiteral("/\\ :.@?#&*{}$!+`|='\"<>");
    for (QChar& c : name) {
        if (replaced.contains(c))
            c = u'-';
    }
    return name;
}

QString ConfigManager::validateStartingUrl(const QString& text)
{
    if (text.isEmpty())
        return QString();
    const QString trimmed = strings::trimmingWhitespaceAndNewlines(text);
    QString result;
    if (trimmed.contains(u"://"))
        result = trimmed;
    else if (platform::Paths::isLocalPath(trimmed))
        result = QStringLiteral("file://") + strings::decodingXmlEntities(platform::Paths::expandTilde(trimmed));
    else
        result = QStringLiteral("http://") + trimmed;
    if (!platform::Url::fromString(result)) {
        logLine(1, QStringLiteral("unable to create startingNSURL, trying encodedURLString"));
        result = PunycodeAdditions::encodedURLString(result);
        logLine(1, QStringLiteral("Important - crawlSettings>startingUrl is now an encodedURLString"));
    }
    return result;
}

} // namespace crawlmere::settings
