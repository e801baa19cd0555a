// The Go / Pause / Continue control and the status line, without widgets.
#include "views/ScanControl.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettings.h"
#include "engine/CrwlUrl.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "settings/SpellingLanguages.h"
#include "views/CrwlByLinkDataSource.h"

using crawlmere::platform::logLine;
using crawlmere::platform::UserDefaults;

ScanControl::ScanControl(std::shared_ptr<Z12Ara> hubValue, CrwlByLinkDataSource& byLink,
    std::shared_ptr<ShellPrompts> promptsValue, Services servicesValue)
    : hub(std::move(hubValue))
    , byLinkDataSource(byLink)
    , prompts(std::move(promptsValue))
    , services(std::move(servicesValue))
{
    m_display.archiveProcess = UserDefaults::standard().value(defaultsKey::exportEntireSite_Process);
    m_display.badLinksOnly = UserDefaults::standard().value(defaultsKey::badLinksOnly);
}

ScanControl::~ScanControl() { *alive = false; }

void ScanControl::changed()
{
    if (services.displayChanged)
        services.displayChanged();
}

ScanControl::GoAction ScanControl::go(const QString& senderTitle)
{
    if (senderTitle == kContinue) {
        continueCrawl();
        return GoAction::Continued;
    }
    if (senderTitle == kPause) {
        stop();
        return GoAction::Paused;
    }

    clearAllDataSources();
    byLinkDataSource.setSearchText(QString());
    if (services.resetSearch)
        services.resetSearch();
    m_display.archiveProcess = UserDefaults::standard().value(defaultsKey::exportEntireSite_Process);
    UserDefaults::standard().setBool(false, defaultsKey::badLinksOnly);
    m_display.badLinksOnly = false;

    // Every scan runs on its own copy of the selected site's settings.
    QVariantMap settings = services.currentSettings ? services.currentSettings() : QVariantMap();
    const QString startingUrl = settings.value(crawlKey::startingUrl).toString().trimmed();
    // A spelling language without a dictionary is said in the console when the scan starts.
    if (const QString notice = crawlmere::settings::SpellingLanguages::putScanLanguageOnChecker(settings);
        !notice.isNull())
        logLine(0, notice);
    hub->setCrawlSettings(std::make_shared<CrawlSettings>(std::move(settings)));
    if (!hub->go()) {
        m_display.goTitle = kGo;
        m_display.goEnabled = true;
        m_display.indicatorAnimating = false;
        m_display.indicatorShown = false;
        m_display.stopEnabled = false;
        m_display.proportion = 0.0f;
        m_display.statusText = startingUrl.isEmpty()
            ? QStringLiteral("The scan could not start: no starting URL")
            : QStringLiteral("The scan of %1 could not start").arg(startingUrl);
        changed();
        return GoAction::NewScanRefused;
    }
    crawlWillContinue();
    return GoAction::NewScan;
}

void ScanControl::stop()
{
    logLine(1, QStringLiteral("AD stop:"));
    hub->stop();
}

void ScanControl::continueCrawl() { hub->continueCrawl(); }

void ScanControl::clear()
{
    if (m_display.goTitle == kContinue) {
        go(kGo);
        return;
    }
    if (!clearAllDataSources())
        return;
    hub->clear();
    m_display.statusText.clear();
    m_display.proportion = 0.0f;
    m_display.clearEnabled = false;
    changed();
}

bool ScanControl::clearAllDataSources()
{
    if (m_display.goTitle == kPause) {
        logLine(1, QStringLiteral("clearAllDataSources prevented as scan is running"));
        return false;
    }
    byLinkDataSource.clear();
    if (services.clearOtherDataSources)
        services.clearOtherDataSources();
    liveupdatecount = 0;
    // The counts of the results just cleared go with them (a question asked before the next
    // scan starts, such as the scope of a list of addresses, waits over an empty window).
    if (!m_display.statusText.isEmpty() || m_display.proportion != 0.0f) {
        m_display.statusText.clear();
        m_display.proportion = 0.0f;
        changed();
    }
    return true;
}

QString ScanControl::statusText(qint64 checked, qint64 total, qint64 pages, qint64 bad)
{
    return QStringLiteral("%1 of %2 %3 on %4 %5 checked, %6 bad")
        .arg(QString::number(checked), QString::number(total),
            total == 1 ? QStringLiteral("link") : QStringLiteral("links"), QString::number(pages),
            pages == 1 ? QStringLiteral("page") : QStringLiteral("pages"), QString::number(bad));
}

float ScanControl::proportion(qint64 checked, qint64 total)
{
    return total > 0 ? static_cast<float>(checked) / static_cast<float>(total) : 0.0f;
}

void ScanControl::refillByLink(const CrwlUrl* scrollTo)
{
    byLinkDataSource.clear();
    byLinkDataSource.setCollection(hub->linksCollection());
    byLinkDataSource.filter();
    byLinkDataSource.reloadDataAndScrollToURL(scrollTo);
}

void ScanControl::updateStatus(const CrwlUrl* changedRecord)
{
    logLine(3, QStringLiteral("AD: updateStatus"));
    const qint64 total = hub->linksCollection().size();
    const qint64 checked = hub->checkedLinkCount();
    m_display.statusText = statusText(checked, total, hub->pageCount(), hub->badLinkCount());
    m_display.proportion = proportion(checked, total);

    if (services.selectedTab && services.selectedTab().toInt() == 1) {
        if (liveupdatecount == 0) {
            refillByLink(changedRecord);
            liveupdatecount = static_cast<quint64>(checked > 0 ? checked / 10 : 0);
        } else {
            --liveupdatecount;
        }
    }
    logLine(3, QStringLiteral("updateStatus done"));
    if (services.countsChanged)
        services.countsChanged();
    else
        changed();
}

void ScanControl::crawlWillContinue()
{
    m_display.indicatorAnimating = true;
    m_display.indicatorShown = true;
    m_display.goTitle = kPause;
    m_display.continueEnabled = false;
    m_display.clearEnabled = false;
    m_display.stopEnabled = true;
    changed();
}

void ScanControl::crawlDidStop()
{
    m_display.indicatorAnimating = false;
    m_display.indicatorShown = false;
    m_display.goEnabled = true;
    m_display.goTitle = kContinue;
    m_display.continueEnabled = true;
    m_display.clearEnabled = true;
    m_display.stopEnabled = false;
    changed();
    if (services.forcePopulateAllDataSources)
        services.forcePopulateAllDataSources();
    else
        refillByLink(nullptr);
}

void ScanControl::crawlDidFinish()
{
    logLine(1, QStringLiteral("AD crawlDidFinish:"));
    if (services.forcePopulateAllDataSources)
        services.forcePopulateAllDataSources();
    else
        refillByLink(nullptr);

    m_display.indicatorAnimating = false;
    m_display.proportion = 0.0f;
    updateStatus(nullptr);
    m_display.indicatorShown = false;
    m_display.goTitle = kGo;
    m_display.continueEnabled = false;
    // A finished scan can be cleared for the next one (the clear item sends go:).
    m_display.clearEnabled = true;
    m_display.stopEnabled = false;
    changed();

    if (services.stopAccessingFolder)
        services.stopAccessingFolder();

    if (services.selectedTab && services.selectTab && services.selectedTab() == QLatin1String("0")) {
        const QVariant stored = UserDefaults::standard().value(defaultsKey::lastTabSelected);
        services.selectTab(stored.isValid() ? stored.toString() : QStringLiteral("1"));
    }
    logLine(1, QStringLiteral("crawl did finish"));

    writeFinishToSite(*hub, services.now ? services.now() : QDateTime::currentDateTime(), services.locale,
        services.setStatusForCurrentSite, services.setNameIfStillDefault);

    const auto& links = hub->linksCollection();
    if (links.size() < 2) {
        // Queued, so that the alert runs after this handler has returned.
        std::shared_ptr<CrwlUrl> first = links.isEmpty() ? nullptr : std::dynamic_pointer_cast<CrwlUrl>(links.first());
        crawlmere::platform::Dispatch::toMain([this, guard = alive, first] {
            if (!*guard || !prompts)
                return;
            const bool support = services.visitSupport && services.supportAvailable && services.supportAvailable();
            if (prompts->runModalAlert(fewResultsAlert(first.get(), support)) == 1 && support)
                services.visitSupport();
        });
    }
}

void ScanControl::writeFinishToSite(const Z12Ara& hub, const QDateTime& now, const QLocale& locale,
    const std::function<void(const QString&)>& setStatusForCurrentSite,
    const std::function<void(const QString&)>& setNameIfStillDefault)
{
    if (setStatusForCurrentSite)
        setStatusForCurrentSite(
            siteStatusText(now, locale, hub.checkedLinkCount(), hub.pageCount(), hub.badLinkCount()));
    // Too few results: the window warns instead, and the name stays.
    if (hub.linksCollection().size() < 2)
        return;
    const QString name = hub.getWebsiteName();
    if (!name.isEmpty() && setNameIfStillDefault)
        setNameIfStillDefault(name);
}

QString ScanControl::siteStatusText(
    const QDateTime& now, const QLocale& locale, qint64 checked, qint64 pages, qint64 bad)
{
    const QString when = locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral(", ")
        + locale.toString(now.time(), QLocale::ShortFormat);
    const QString counts = QStringLiteral("%1 links checked on %2 %3, %4 bad")
                               .arg(QString::number(checked), QString::number(pages),
                                   pages == 1 ? QStringLiteral("page") : QStringLiteral("pages"), QString::number(bad));
    return QStringLiteral("Last checked: %1, %2").arg(when, counts);
}

ShellAlert ScanControl::fewResultsAlert(const CrwlUrl* first, bool support)
{
    const QString message = first && !first->isGoodLink()
        ? QStringLiteral("The starting URL returned the following status: %1").arg(first->getStatusDescription())
        : QStringLiteral("We have unexpectedly few results.");
    return { .messageText = QStringLiteral("Possible problem with starting URL"),
        .informativeText
        = QStringLiteral("%1\n\n%2")
              .arg(message, QStringLiteral("Please do not hesitate to contact Support if you need to.")),
        .buttons = support ? QStringList { QStringLiteral("OK"), QStringLiteral("Support") }
                           : QStringList { QStringLiteral("OK") },
        .helpTopic = QStringLiteral("noresults:"),
        .cancelButton = 0 };
}

void ScanControl::showHideGoodLinksMenuItem()
{
    auto& defaults = UserDefaults::standard();
    const bool badLinksOnly = !defaults.value(defaultsKey::badLinksOnly);
    defaults.setBool(badLinksOnly, defaultsKey::badLinksOnly);
    m_display.badLinksOnly = badLinksOnly;
    filter();
    changed();
}

void ScanControl::followBadLinksOnlyDefault()
{
    m_display.badLinksOnly = UserDefaults::standard().value(defaultsKey::badLinksOnly);
    changed();
}

void ScanControl::filter()
{
    if (services.filterLinkViews) {
        services.filterLinkViews();
        return;
    }
    byLinkDataSource.setNeedsFiltering(true);
    if (byLinkDataSource.getCount() > 0) {
        byLinkDataSource.filter();
        byLinkDataSource.setNeedsFiltering(false);
        byLinkDataSource.reloadData();
    }
}
