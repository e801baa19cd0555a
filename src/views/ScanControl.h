// The Go / Pause / Continue control and the status line of the main window, without widgets:
// what a press does, what the controls show in each state, the status texts and the live
// refresh of the by-link view.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class CrwlByLinkDataSource;
class CrwlUrl;
class ShellPrompts;
class Z12Ara;
struct ShellAlert;

/// The main window binds its Go button, progress indicator, menu items, status field and the
/// bad-links-only and archive controls to `display()` and re-reads it after every call here
/// (and when `displayChanged` runs). The window forwards the hub's notifications
/// (`crawlWillContinue`, `crawlDidStop`, `crawlDidFinish`, `updateStatus` with the record of
/// "CrwlUrlStatusUpdated"). Main thread only; the hub, data source and prompts must outlive it.
class ScanControl {
public:
    static inline const QString kGo = QStringLiteral("Go");
    static inline const QString kPause = QStringLiteral("Pause");
    static inline const QString kContinue = QStringLiteral("Continue");

    /// What the control shows. A menu item that is not enabled has no action.
    struct Display {
        QString goTitle = kGo;
        bool goEnabled = true;
        bool indicatorShown = false;
        bool indicatorAnimating = false;
        /// `stopMenuItem` sends `stop`; `continueMenuItem` `continueCrawl`; `clearMenuItem` `clear`.
        bool stopEnabled = false;
        bool continueEnabled = false;
        bool clearEnabled = false;
        QString statusText;
        /// The status field's progress line (`ProgBarTextFieldCell` proportion).
        float proportion = 0.0f;
        /// The archive option buttons: "Process" on (and "Preserve" off) when YES.
        bool archiveProcess = true;
        bool badLinksOnly = false;
    };

    /// What the control needs of the rest of the shell; unset hooks are skipped.
    struct Services {
        /// A copy of the selected site's settings (`ConfigManager currentSettings`).
        std::function<QVariantMap()> currentSettings;
        /// Empties the other result views and reports (the by-link view is emptied here).
        std::function<void()> clearOtherDataSources;
        /// Refills every result view at a pause or finish; unset: the by-link view is refilled.
        std::function<void()> forcePopulateAllDataSources;
        /// A new scan: empty the search field and leave the search-results tab.
        std::function<void()> resetSearch;
        /// The selected tab's identifier, and selecting a tab by identifier.
        std::function<QString()> selectedTab;
        std::function<void(const QString&)> selectTab;
        /// Stops using the local folder of a local scan.
        std::function<void()> stopAccessingFolder;
        /// `ConfigManager setStatusForCurrentSite:` and `setNameIfStillDefault:`.
        std::function<void(const QString&)> setStatusForCurrentSite;
        std::function<void(const QString&)> setNameIfStillDefault;
        /// The support page (second button of the few-results alert), offered only while
        /// `supportAvailable` answers true (unset: never).
        std::function<void()> visitSupport;
        std::function<bool()> supportAvailable;
        /// The clock of the site's status text.
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
        QLocale locale = QLocale::system();
        /// Marks every link view for filtering and refilters the one in front (the result tabs);
        /// unset: the by-link view is refiltered at once.
        std::function<void()> filterLinkViews;
        /// Runs after every change of `display()`.
        std::function<void()> displayChanged;
        /// Runs instead of `displayChanged` when only the counts of the status line and the
        /// progress changed (every URL checked); may bring the rest of the display up to date
        /// a little later. Unset: the change is shown as any other.
        std::function<void()> countsChanged;
    };

    /// What a press of the Go button did.
    enum class GoAction { NewScan, NewScanRefused, Paused, Continued };

    ScanControl(std::shared_ptr<Z12Ara> hub, CrwlByLinkDataSource& byLink, std::shared_ptr<ShellPrompts> prompts,
        Services services);
    ~ScanControl();
    ScanControl(const ScanControl&) = delete;
    ScanControl& operator=(const ScanControl&) = delete;

    const Display& display() const { return m_display; }

    /// The Go button (or the clear item) pressed with its title: "Continue" resumes, "Pause"
    /// pauses, any other title starts a new scan. When the hub cannot start one, the button keeps
    /// "Go", the indicator stays hidden and the status line says so (`NewScanRefused`).
    GoAction go(const QString& senderTitle);
    void stop();
    void continueCrawl();
    /// The Clear item: after a finish the results go (the hub's and every view's) and nothing
    /// is scanned; after a pause the scan starts afresh, as Go does.
    void clear();
    /// Empties every result view, unless a scan is running (the button reads "Pause").
    /// Answers whether it did.
    bool clearAllDataSources();

    /// The status line from the hub's counters, and the live refresh of the by-link view while
    /// tab "1" is selected: every update below 10 checked URLs, then every (checked / 10 + 1)-th.
    /// `changed` is the record whose status changed, to scroll to; null for none.
    void updateStatus(const CrwlUrl* changed);
    void crawlWillContinue();
    void crawlDidStop();
    void crawlDidFinish();
    /// Toggles the default `badLinksOnly` and refilters (`filter`).
    void showHideGoodLinksMenuItem();
    /// The bad-links controls show the default `badLinksOnly` as it now is (after start-up
    /// resets it).
    void followBadLinksOnlyDefault();
    /// Refilters the link views (`filterLinkViews`), or else the by-link view at once.
    void filter();

    /// "%ld of %ld links on %ld pages checked, %ld bad".
    static QString statusText(qint64 checked, qint64 total, qint64 pages, qint64 bad);
    /// checked / total; 0 while total is 0.
    static float proportion(qint64 checked, qint64 total);
    /// "Last checked: <short date>, <short time>, N links checked on P pages, B bad" ("page"
    /// for one page).
    static QString siteStatusText(
        const QDateTime& now, const QLocale& locale, qint64 checked, qint64 pages, qint64 bad);
    /// What a finished scan leaves on its site, in the window and without one: the status text
    /// (`siteStatusText` at `now`), then, when the scan collected at least 2 URLs and the hub
    /// found the site's name, that name for a site still named "A new website" (the store's
    /// `setNameIfStillDefault:` decides). Unset hooks are skipped.
    static void writeFinishToSite(const Z12Ara& hub, const QDateTime& now, const QLocale& locale,
        const std::function<void(const QString&)>& setStatusForCurrentSite,
        const std::function<void(const QString&)>& setNameIfStillDefault);
    /// The few-results alert for a links collection of fewer than 2 records: the starting URL's
    /// status when its record is not good, else "We have unexpectedly few results.". Its buttons
    /// are "OK", then "Support" when `support` is true; its help topic is "noresults:".
    static ShellAlert fewResultsAlert(const CrwlUrl* first, bool support);
    /// The counter of status updates still to skip before the next live refresh.
    quint64 liveUpdateCount() const { return liveupdatecount; }

private:
    void refillByLink(const CrwlUrl* scrollTo);
    void changed();

    std::shared_ptr<Z12Ara> hub;
    CrwlByLinkDataSource& byLinkDataSource;
    std::shared_ptr<ShellPrompts> prompts;
    Services services;
    Display m_display;
    quint64 liveupdatecount = 0;
    /// Guards queued alerts against a control that is gone.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
