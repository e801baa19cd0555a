// The crawl coordinator's scan control: starting a scan (validation of the starting URL, rule
// lists, directory scope, internal domains, local files and URL lists), reset, pause and resume.
#include "engine/Z12Ara.h"

#include "engine/ArchiveSink.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "engine/EngineSEOService.h"
#include "engine/FetchTransport.h"
#include "engine/HubClock.h"
#include "engine/LinkExtractionParser.h"
#include "engine/OutputFilterManager.h"
#include "engine/PunycodeAdditions.h"
#include "engine/ShellServices.h"
#include "engine/SettingsValue.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/Strings.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

using crawlmere::engine::settingBool;
using crawlmere::engine::settingString;
using crawlmere::engine::settingTimeoutSeconds;
using crawlmere::platform::Expected;
using crawlmere::platform::logLine;
using crawlmere::platform::Paths;
using crawlmere::platform::RegularFile;
using crawlmere::platform::Url;
using crawlmere::platform::UserDefaults;
namespace strings = crawlmere::platform::strings;

Z12Ara::Z12Ara()
    : Z12Ara(UserDefaults::standard())
{
}

Z12Ara::Z12Ara(UserDefaults& store)
    : defaults(&store)
{
    initialise();
}

Z12Ara::~Z12Ara() = default;

void Z12Ara::initialise()
{
    retainArray.clear();
    outputFilterManager = nullptr;
    checkQueue.removeAllObjects();
    clock = std::make_shared<DispatchClock>();
    transport = std::make_shared<CrwlUrlFetchTransport>();
}

void Z12Ara::setClock(std::shared_ptr<HubClock> value)
{
    clock = value ? std::move(value) : std::make_shared<DispatchClock>();
}

void Z12Ara::post(const QString& name)
{
    crawlmere::platform::NotificationCenter::defaultCenter().post(name, weak_from_this().lock());
}

void Z12Ara::crawlDidStop() { post(CrwlCrawlDidStop); }
void Z12Ara::crawlWillContinue() { post(CrwlCrawlWillContinue); }
void Z12Ara::reloadData() { post(CrwlListenerShouldUpdateData); }

// ===== clear ================================================================================

void Z12Ara::clear()
{
    // Fetches of the previous scan are cancelled so that none reports into the next one.
    for (const UrlPtr& record : std::as_const(inProgressArray))
        cancelFetch(record);
    ++runGeneration;
    ++clearCount;

    qfDataSource::clear();
    collection.reserve(100);
    if (engineSEODataSource)
        engineSEODataSource->clear();
    dataBelongsToID = QString();
    checkQueue.removeAllObjects();
    hostLookups.clear();
    refreshWaits.clear();
    inProgressArray = QList<UrlPtr>();
    inProgressArray.reserve(40);
    if (archiveSink)
        archiveSink->clearArchiveFolder();
    linkTextPool = CrwlLinkTextPool();
    occurrenceArena.clear();
    lookupDictionary = LookupTable();
    redirLookupDictionary = QHash<QString, QList<UrlPtr>>();
    redirectArrivals = QHash<const CrwlUrl*, InstancePtr>();
    startingPage.store(nullptr);
    linksLeftOutForDepth.clear();
    // Those waiting for a page fetched again hear that the scan is gone, once the clearing is
    // over.
    for (auto& [page, waiting] : std::exchange(pagesFetchedAgain, {})) {
        for (PageFetchedAgainHandler& handler : waiting)
            crawlmere::platform::Dispatch::toMain([handler = std::move(handler)] { handler(std::nullopt); });
    }
    {
        std::unique_lock lock(otherRobotsLock);
        otherRobotsRules.clear();
    }
    robotsAskedFor.clear();
    waitingForRobots.clear();
    ++scanGeneration;
    startingDirTerms.clear();
    startingRedirectFollowed = false;
    readAgainWhenFetched.clear();
    formActionsOnly.clear();
    warningsArray = QList<HubWarningRecord>();
    insecureRecords = QList<InsecureContentRecord>();
    numberOfThreadsDetached = 0;
    numberDone = 0;
    badCollectionCount = 0;
    badInstanceTally = 0;
    stopPressedFlag = false;
    crawlFinishedFlag = false;
    poppedCrawlmereTimeout = false;
    ratePumpScheduled = false;
    giveUpTimerArmed = false;
    recentStarts.clear();
    lastRequestSent = QDateTime();
    plainTextMode = 0;
    if (diagnostic)
        diagnostic->clear();
    // Whatever shows a record of the scan now gone looks again.
    reloadData();
}

// ===== go ===================================================================================

bool Z12Ara::failStart(const QString& logText)
{
    logLine(0, logText);
    if (prompts)
        prompts->beep();
    return false;
}

bool Z12Ara::go()
{
    clear();
    if (!crawlSettings)
        return failStart(QStringLiteral("no website settings available"));
    // A setting the site lacks takes the application's value, else its default: complete the
    // settings before any is read, so that the first scan of a site reads what every later one does.
    CrwlUrl::completeScanSettings(*crawlSettings, *defaults);
    if (diagnostic)
        diagnostic->setCrawlsettings(crawlSettings);
    if (!validateStartingUrl(crawlSettings))
        return failStart(QStringLiteral("unable to work with starting URL"));

    if (settingBool(crawlSettings, crawlKey::linkedFiles) && settingBool(crawlSettings, crawlKey::checkImages))
        crawlSettings->insert(crawlKey::shouldParseCSS, true);

    lcurl = CrwlUrl::make(shared_from_this(), crawlSettings);
    lcurl->setIsStartingPoint(true);
    lcurl->setLinkURL(settingString(crawlSettings, crawlKey::startingUrl));
    qfDataSource::add(lcurl);

    if (defaults->boolForKey(crawlKey::shouldCheckForSoft404)) {
        const QStringList terms = trimEachItemInArray(
            defaults->value(defaultsKey::soft404Terms).split(u'\n', Qt::KeepEmptyParts));
        {
            std::lock_guard lock(soft404Lock);
            soft404Array = terms;
        }
        logLine(
            1, QStringLiteral("%1 items in soft404array - %2").arg(QString::number(terms.size()), terms.join(u", ")));
    } else {
        std::lock_guard lock(soft404Lock);
        soft404Array.clear();
    }

    plainTextMode = 0;
    if (lcurl->isFileURL() && !prepareLocalFile(lcurl)) {
        // Nothing of a start that failed stays behind: no record queued, filed or collected.
        lookupDictionary.clear();
        qfDataSource::clear();
        lcurl = nullptr;
        return false;
    }
    crawlSettings->insert(crawlKey::plainTextMode, static_cast<qint64>(plainTextMode));

    buildRuleLists();
    startingDir = QString();
    if (plainTextMode == 0)
        limitToStartingDirectory(lcurl);
    collectInternalDomains(lcurl);

    scanningHttpsSite = settingString(crawlSettings, crawlKey::startingUrl).startsWith(u"https://");
    httpLinkFoundOnHttpsSite = false;
    setRobotsRules(QString(), {});
    parseRobotsTxt(lcurl);
    detectEncoding(lcurl);

    dataBelongsToID = configManager ? configManager->getIDForCurrentSite() : QString();
    addToCheckQueue(lcurl);
    getNextUrlToCrawl(lcurl);
    return true;
}

bool Z12Ara::validateStartingUrl(const SharedCrawlSettings& settings) const
{
    if (!settings)
        return false;
    const QString given = settingString(settings, crawlKey::startingUrl);
    if (given.isEmpty())
        return false;
    const QString trimmed = strings::trimmingWhitespaceAndNewlines(given);
    if (trimmed.isEmpty())
        return false;

    QString result;
    if (trimmed.size() > 6 && trimmed.contains(u"://"))
        result = trimmed;
    else if (Paths::isLocalPath(trimmed))
        result = QStringLiteral("file://") + strings::decodingXmlEntities(Paths::expandTilde(trimmed));
    else
        result = QStringLiteral("http://") + trimmed;

    if (!Url::fromString(result)) {
        logLine(1, QStringLiteral("unable to create startingNSURL, trying encodedURLString"));
        const QString encoded = PunycodeAdditions::encodedURLString(result);
        if (!Url::fromString(encoded))
            return false;
        logLine(1, QStringLiteral("Important - crawlSettings>startingUrl is now an encodedURLString"));
        result = encoded;
    }
    settings->insert(crawlKey::startingUrl, result);
    return true;
}

bool Z12Ara::prepareLocalFile(const UrlPtr& startingRecord)
{
    auto url = startingRecord->getNSURL();
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(startingRecord->absoluteString()));
    QString path = url ? url->toLocalFile() : QString();
    const QString extension = strings::pathExtension(path);
    if (extension == u"txt" || extension == u"TXT")
        plainTextMode = 3;
    else if (extension == u"csv" || extension == u"CSV")
        plainTextMode = 2;

    QFileInfo info(path);
    if (!path.isEmpty() && info.isDir()) {
        const QString fileName
            = strings::trimmingWhitespaceAndNewlines(defaults->stringForKey(crawlKey::defaultLocalFileName));
        if (!fileName.isEmpty()) {
            path = strings::appendingPathComponent(path, fileName);
            // The scan reads and fetches the page inside the folder, not the folder itself.
            if (const auto fileUrl = Url::fromLocalFile(path)) {
                startingRecord->setLinkURL(fileUrl->absoluteString());
                crawlSettings->insert(crawlKey::startingUrl, fileUrl->absoluteString());
            }
        }
    }

    QString errorText;
    std::optional<QString> text;
    // Read as a fetched body is: a regular file only (a device or a FIFO may never end), and
    // no more than the body cap.
    const auto read = path.isEmpty() ? Expected<QByteArray, RegularFile::Failure>(QByteArray())
                                     : RegularFile::read(path, CrwlUrl::maxBodyBytes());
    if (path.isEmpty()) {
        errorText = QStringLiteral("The starting URL does not name a local file.");
    } else if (!read.ok()) {
        errorText = read.error().reason;
    } else {
        const QByteArray& bytes = read.value();
        if (bytes.isEmpty()) {
            text = QString(u""_qs);
        } else {
            QString decoded;
            if (stringEncodingForData(bytes, &decoded) != 0)
                text = decoded;
            else
                errorText = QStringLiteral("The file's text encoding is not supported.");
        }
    }
    if (!text) {
        logLine(0, QStringLiteral("error opening %1: %2").arg(path, errorText));
        if (prompts) {
            prompts->runModalAlert({ QStringLiteral("Error opening file"),
                QStringLiteral("Crawlmere encountered the following error when trying to open the selected file:")
                    + u' ' + errorText,
                { QStringLiteral("OK") } });
        }
        return false;
    }
    if (text->count(u'<') < 3 && plainTextMode == 0)
        plainTextMode = 3;
    return true;
}

QStringList Z12Ara::builtInCheckBlacklistTerms()
{
    return {
        QStringLiteral("xmlrpc.php"),
        QStringLiteral("wlwmanifest.xml"),
        QStringLiteral("gmpg.org/xfn/11"),
        QStringLiteral("admin-ajax.php"),
        QStringLiteral("about:blank"),
        QStringLiteral("/trackback"),
        QStringLiteral("www.googletagmanager.com"),
        QStringLiteral("calendar.google.com/calendar/"),
        QStringLiteral("outlook.live.com"),
        QStringLiteral("outlook.office365.com"),
    };
}

void Z12Ara::buildRuleLists()
{
    checkBlacklistArray = trimEachItemInArray(crawlSettings->value(crawlKey::checkBlacklistArray));
    checkBlacklistArray += builtInCheckBlacklistTerms();
    followBlacklistArray = trimEachItemInArray(crawlSettings->value(crawlKey::followBlacklistArray));
    followWhitelistArray = trimEachItemInArray(crawlSettings->value(crawlKey::followWhitelistArray));
    ignoreArray = trimEachItemInArray(crawlSettings->value(crawlKey::ignoreArray));

    const QVariant superWhitelist = defaults->objectForKey(defaultsKey::superWhitelistArray);
    if (superWhitelist.isValid()) {
        outputFilterManager = std::make_shared<OutputFilterManager>(*defaults);
        outputFilterManager->implementRules(superWhitelist.toList());
    } else {
        outputFilterManager = nullptr;
    }
}

void Z12Ara::limitToStartingDirectory(const UrlPtr& startingRecord)
{
    limitToDirectoryOf(startingRecord->absoluteString(), startingRecord->getNSURL(), startingRecord);
}

void Z12Ara::limitToDirectoryOf(const QString& s, const std::optional<Url>& url, const UrlPtr& askAbout)
{
    const QString host = url ? url->hostWithBrackets() : QString();

    // H: the index just past the host (and its port).
    qsizetype hostEnd = 7;
    if (!host.isEmpty()) {
        const qsizetype at = s.indexOf(host);
        hostEnd = at < 0 ? 7 : at + host.size();
        if (url->port())
            hostEnd += url->portText().size() + 1;
    }
    hostEnd = std::clamp<qsizetype>(hostEnd, 0, s.size());
    if (s.size() - hostEnd < 2)
        return;

    QString path = s.mid(hostEnd);
    {
        const QString last = strings::lastPathComponent(path);
        if (last.contains(u'.') && last == path.mid(1)) {
            startingDir = stringByDeletingLastPathComponent(s);
            return;
        }
    }

    const qsizetype query = path.indexOf(u'?');
    if (query >= 0)
        path.truncate(query);
    QString dir;
    const QString last = strings::lastPathComponent(path);
    if (last.contains(u'.')) {
        const qsizetype at = path.lastIndexOf(last);
        dir = at >= 0 ? path.left(at) : path;
        logLine(2, QStringLiteral("dir trimmed to %1").arg(dir));
    } else {
        dir = path;
        const bool singlePage = settingBool(crawlSettings, crawlKey::singlePage);
        const bool wordpressUrls = settingBool(crawlSettings, crawlKey::wordpressUrls);
        if (askAbout && !path.endsWith(u'/') && !singlePage && !wordpressUrls) {
            // Both answers change the site (no cancel answer: Escape does nothing).
            const int answer = prompts ? prompts->runModalAlert({ QStringLiteral("Ambiguous starting url"),
                                   last + u' '
                                       + QStringLiteral("could be a directory, or it may be a page without "
                                                        "a file extension (.html)\n\nThis has an effect on "
                                                        "the scope of the scan (Crawlmere limits its crawl "
                                                        "to the directory you start in)."),
                                   { QStringLiteral("is a page"), QStringLiteral("is a directory") } })
                                       : 0;
            if (answer == 1) {
                const QString asDirectory = s + u'/';
                askAbout->setLinkURL(asDirectory);
                if (configManager)
                    configManager->setNewStartingurl(asDirectory);
            } else if (configManager) {
                configManager->switchWordpressUrlsOn(true);
            }
        }
    }

    if (settingBool(crawlSettings, crawlKey::wordpressUrls)) {
        const QString component = strings::lastPathComponent(dir);
        const qsizetype at = dir.indexOf(component);
        dir = at <= 1 ? QString() : strings::deletingLastPathComponent(dir);
    }
    if (dir.endsWith(u'/'))
        dir.chop(1);
    if (dir.isEmpty())
        return;
    if (settingBool(crawlSettings, crawlKey::crawlUpwards))
        return;

    const QString encoded = PunycodeAdditions::encodedPath(dir);
    logLine(1, QStringLiteral("limiting crawl to directory: %1").arg(encoded));
    const QString bareHost = url ? url->host() : QString();
    const int port = url && url->port() ? *url->port() : 0;
    auto term = [&](const QString& directory) {
        if (port != 0)
            return QStringLiteral("!%1:%2%3").arg(bareHost, QString::number(port), directory);
        if (!bareHost.isEmpty())
            return u'!' + bareHost + directory;
        return u'!' + directory;
    };
    startingDirTerms.append(term(encoded));
    const QString decoded = PunycodeAdditions::qfStringByRemovingPercentEncoding(encoded);
    if (!decoded.isEmpty() && decoded != encoded)
        startingDirTerms.append(term(decoded));
    followBlacklistArray += startingDirTerms;
    const QString startingUrl = settingString(crawlSettings, crawlKey::startingUrl);
    startingDir = startingUrl.left(std::clamp<qsizetype>(hostEnd + encoded.size(), 0, startingUrl.size()));
}

void Z12Ara::collectInternalDomains(const UrlPtr& startingRecord)
{
    const QStringList found = internalDomainsOf(startingRecord->absoluteString(), startingRecord->getNSURL());
    std::unique_lock lock(domainsLock);
    domains = found;
}

QStringList Z12Ara::internalDomainsOf(const QString& s, const std::optional<Url>& url) const
{
    QStringList found;
    if (url && !url->host().isEmpty()) {
        const QString host = url->host();
        found.append(host);
        if (settingBool(crawlSettings, crawlKey::followSubdomains) && host.startsWith(u"www.") && host.size() >= 5)
            found.append(host.mid(4));
    } else if (s.contains(u"file://")) {
        QString folder = strings::deletingLastPathComponent(s);
        if (folder.startsWith(u"file:/") && !folder.startsWith(u"file:///"))
            folder = QStringLiteral("file:///") + folder.mid(6);
        found.append(PunycodeAdditions::encodedURLString(folder));
    }
    return found;
}

void Z12Ara::followStartingRedirect(const Url& final)
{
    if (startingRedirectFollowed || final.isFileUrl())
        return;
    startingRedirectFollowed = true;
    const QString finalString = final.absoluteString();
    logLine(1, QStringLiteral("the starting url redirects: the scan starts at %1").arg(finalString));

    // The hosts of the final address first, then those of the address typed.
    QStringList found = internalDomainsOf(finalString, final);
    for (const QString& host : getDomains()) {
        if (!found.contains(host, Qt::CaseInsensitive))
            found.append(host);
    }
    {
        std::unique_lock lock(domainsLock);
        domains = found;
    }

    crawlSettings->insert(crawlKey::startingUrl, finalString);
    scanningHttpsSite = finalString.startsWith(u"https://");
    if (plainTextMode == 0) {
        for (const QString& term : std::as_const(startingDirTerms))
            followBlacklistArray.removeOne(term);
        startingDirTerms.clear();
        startingDir = QString();
        limitToDirectoryOf(finalString, final, /*askAbout=*/nullptr);
    }
    if (configManager)
        configManager->setNewStartingurl(finalString);
}

QStringList Z12Ara::getDomains() const
{
    std::shared_lock lock(domainsLock);
    return domains;
}

// ===== pause and resume =====================================================================

void Z12Ara::stop()
{
    logLine(1, QStringLiteral("stop: - numberdone is %1").arg(numberDone));
    stopPressedFlag = true;
    // Delayed starts and timers of the running scan do nothing after a pause.
    ++runGeneration;
    poppedCrawlmereTimeout = false;
    ratePumpScheduled = false;
    giveUpTimerArmed = false;
    crawlDidStop();
    logLine(1, QStringLiteral("queue: %1, in flight: %2").arg(checkQueue.count()).arg(numberOfThreadsDetached));

    const double timeout = settingTimeoutSeconds(crawlSettings);
    const QDateTime now = clock->now();
    // Starts the rate had booked for fetches that now go back to the queue never happen: a
    // continue is spaced from the last real start, not from them.
    std::erase_if(recentStarts, [&now](const QDateTime& start) { return start > now; });
    const QList<UrlPtr> inFlight = inProgressArray;
    for (const UrlPtr& record : inFlight) {
        if (secondsInFlight(*record, now) > timeout)
            logLine(0, QStringLiteral("should have timed out: %1 ").arg(record->absoluteString()));
        else
            logLine(0, QStringLiteral("still waiting on: %1").arg(record->absoluteString()));
    }
    for (const UrlPtr& record : inFlight) {
        record->setStatus(CrwlStatus::notYetChecked);
        cancelFetch(record);
        record->clearRedir();
        addToCheckQueue(record);
    }
    for (const UrlPtr& record : inFlight)
        record->setStatus(CrwlStatus::notYetChecked);
    inProgressArray.clear();
    numberOfThreadsDetached = 0;
    // Records waiting for their host's lookup go back too; the lookups' answers still count.
    for (const UrlPtr& record : hostLookups.takeAllWaiting())
        addToCheckQueue(record);
    // So do those waiting for a Refresh header's delay: they are fetched afresh.
    for (const UrlPtr& record : std::exchange(refreshWaits, {})) {
        record->setStatus(CrwlStatus::notYetChecked);
        record->clearRedir();
        addToCheckQueue(record);
    }
}

void Z12Ara::continueCrawl()
{
    numberOfThreadsDetached = 0;
    stopPressedFlag = false;
    inProgressArray.clear();
    crawlWillContinue();
    getNextUrlToCrawl(nullptr);
}

// ===== small services =======================================================================

bool Z12Ara::shouldCacheData() const { return settingBool(crawlSettings, crawlKey::checkSpelling); }

bool Z12Ara::isScanning() const
{
    return checkQueue.count() > 0 || numberOfThreadsDetached > 0 || recordsWaitingForRobots() > 0
        || !refreshWaits.isEmpty();
}

QStringList Z12Ara::trimEachItemInArray(const QStringList& items)
{
    QStringList out;
    out.reserve(items.size());
    for (const QString& item : items) {
        const QString trimmed = strings::trimmingWhitespaceAndNewlines(item);
        if (!trimmed.isEmpty())
            out.append(trimmed);
    }
    return out;
}

QStringList Z12Ara::trimEachItemInArray(const QVariant& items)
{
    QStringList strings;
    if (items.typeId() == QMetaType::QStringList) {
        strings = items.toStringList();
    } else if (items.typeId() == QMetaType::QVariantList) {
        for (const QVariant& item : items.toList()) {
            if (item.typeId() == QMetaType::QString)
                strings.append(item.toString());
        }
    }
    return trimEachItemInArray(strings);
}

QString Z12Ara::stringByDeletingLastPathComponent(const QString& text)
{
    const qsizetype slash = text.lastIndexOf(u'/');
    if (slash <= 0)
        return text;
    return text.left(slash);
}

QString Z12Ara::uniqueStringUsingDateAndTime() { return uniqueStringUsingDateAndTime(QDateTime::currentDateTime()); }

QString Z12Ara::uniqueStringUsingDateAndTime(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyyMMddHHmmss"));
}
