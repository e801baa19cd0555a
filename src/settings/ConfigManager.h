// The site configuration store: the list of sites kept in the defaults store, the selected
// site's working copy, its rule lists, the site list's rows and folders, and settings files.
#pragma once

#include "engine/CrawlSettingKeys.h"
#include "engine/ShellServices.h"
#include "settings/ConfigView.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::settings {

class ThumbGetter;
class ThumbGetterFactory;

/// One row of the site list. The header row has a null `ID`.
struct WebtallyWebsiteNavigationItem {
    QString name;
    QString startingUrl;
    QString ID;
    QImage image; ///< the site's stored thumbnail at display size, or null
    bool isHeader() const { return ID.isNull(); }
};

/// What the request-rate recalculation shows and stores.
struct RequestRate {
    double delay = 0.0; ///< the site's `delay` in seconds (may be infinite)
    int maxRPM = 0; ///< what the rate field shows
    bool maxRPMEnabled = false; ///< whether the rate field is enabled
    int threads = 0; ///< what the thread slider (and its label) shows
};

/// The site configuration store of the main window, without any widget: the settings pane and
/// the site list attach through `ConfigView`, alerts go through `ShellPrompts`, and "scanning"
/// is a predicate handed in by the shell (the Go button reads "Pause"). Without a view every
/// operation still works on the data, which is how scans without windows and tests use it.
///
/// Sites are QVariantMaps of property-list values. The selected site's working copy is
/// `currentSettings`; it is pushed into the list by `synchronise` and the list is written whole
/// under the defaults key `websites`. Rows of the site list: row 0 is the header row.
///
/// Write-backs of a scan (starting URL, WordPress switch, time stamp, status, default name,
/// archive location) go to the site whose settings `settingsForScan` handed out, even when
/// another site has been selected since.
///
/// Main thread only. The defaults store, the view and the prompts must outlive the manager (or
/// be detached first).
class ConfigManager final : public ShellSiteStore {
public:
    /// The name a new site gets.
    static inline const QString kNewSiteName = QStringLiteral("A new website");
    /// Posted (object: the manager) when the sitemap rules have been saved and closed.
    static inline const QString CrwlSitemapRulesDidChange = QStringLiteral("CrwlSitemapRulesDidChange");
    static inline const QString kAllSites = QStringLiteral("All sites");
    static inline const QString kDefaultFolder = QStringLiteral("Default folder");
    /// The labels of the folder list's two fixed rows, which no folder may take. A site stored
    /// with one of them as its folder belongs to the default folder.
    static bool isFixedFolderName(const QString& name) { return name == kAllSites || name == kDefaultFolder; }

    explicit ConfigManager(platform::UserDefaults& defaults);
    ~ConfigManager() override;
    ConfigManager(const ConfigManager&) = delete;
    ConfigManager& operator=(const ConfigManager&) = delete;

    // ----- wiring -----
    /// Attaches the settings pane and site list (nullptr detaches).
    void setView(ConfigView* view);
    /// "Scanning": the shell's Go button reads "Pause". Unset means never scanning.
    void setScanningPredicate(std::function<bool()> scanning);
    /// Alerts and the beep; without prompts an alert is answered with its first button.
    void setPrompts(std::shared_ptr<ShellPrompts> prompts);
    /// clearAllDataSources of the shell, run after a new site is made.
    void setClearAllDataSources(std::function<void()> clear);
    platform::UserDefaults& defaults() const { return m_defaults; }
    bool isScanning() const;

    // ----- start-up and end -----
    /// Loads the site list and folders and shows the selected site; sets `htmlValidationEnabled`
    /// to NO. Runs once; later calls do nothing.
    void applicationHasFinishedLaunching();
    bool woken() const { return m_woken; }
    /// Saves the working copy and the list when something changed.
    void applicationWillTerminate();

    // ----- store and selection -----
    void load();
    void fetchWebsitesArray();
    std::optional<QVariantMap> settingsForID(const QString& siteID) const;
    /// -1 when absent or `siteID` is empty.
    qsizetype indexOfWebsiteWithID(const QString& siteID) const;
    /// The crawl defaults, over them the defaults store's values of `newSiteDefaultKeys` (what
    /// the preferences set for new sites), with `startingUrl` "https://", `name` "A new
    /// website", a new `id` and an empty `sitemapRules`.
    QVariantMap getBlankSettings();
    /// The crawl settings a new site takes from the defaults store when it holds them: the
    /// limits, threads, time-out and user agent.
    static const QStringList& newSiteDefaultKeys();
    /// "%Y%m%d-%H%M%S" local time followed by a per-manager counter (1 for the first), moved on
    /// past every id the list (or the shown site) already holds, and past `taken`.
    QString newFilename(const QSet<QString>& taken = {});
    void makeCurrentSettingsFromUserSelectedWebsite();
    std::optional<QVariantMap> settingsForDataSourceRow(int row) const;
    std::optional<QVariantMap> getSettingsInWaiting() const;
    const QList<QVariantMap>& websites() const { return m_websites; }

    // ----- persistence -----
    void synchronise();
    /// The working copy, synchronised first when dirty.
    QVariantMap currentSettings();
    /// `currentSettings` for a scan about to start: the site it belongs to receives the scan's
    /// write-backs until the next call.
    QVariantMap settingsForScan();
    /// The working copy as it stands, without synchronising.
    QVariantMap getCurrentSettingsForExport() const { return m_current; }
    void copyInterfaceToCurrentSettings();
    void pushCurrentSettingsToWebsites();
    void pushWebsitesToDefaults();
    void implementCurrentSettings();
    void setDirty(bool dirty) { m_dirty = dirty; }
    bool isDirty() const { return m_dirty; }

    // ----- actions -----
    void newConfig() { newConfigWithURL(QString()); }
    /// A new site, with `url` (already an absolute URL string) as starting URL when not empty.
    void newConfigWithURL(const QString& url);
    void duplicateSelectedConfig(int clickedRow);
    /// Asks, then deletes the selected site; only beeps while scanning.
    void deleteURL();
    void returnToDefaultSettings();
    /// The control actions of the settings pane for the control named `key`, after its value
    /// changed. `shouldArchive` may switch `checkImages` and `linkedFiles` on (through the view).
    void handleControl(const QString& key);
    /// control:textShouldBeginEditing: for the starting-URL field (`key` "startingUrl") a new
    /// site is made when the list is empty and the field holds more than "https://", else the
    /// site is marked changed; the limit fields mark it changed.
    void controlTextShouldBeginEditing(const QString& key, const QString& text);
    /// controlTextDidChange for the starting-URL field: the selected row shows the text at once
    /// and the window title follows.
    void controlTextDidChange(const QString& text);
    /// controlTextDidEndEditing for the starting-URL field: a changed URL is saved.
    void controlTextDidEndEditing(const QString& text);
    /// newLanguageSelected: the language of the spelling pop-up, by its display name, goes on
    /// the shared spell checker (every text check and recount uses it); marks the site changed.
    void newLanguageSelected(const QString& displayName);
    /// The request-rate arithmetic on the controls' integer values.
    static RequestRate recalcDelay(bool limitRPM, int maxRPM, int threads);
    /// The site's `delay` becomes `delay` (from `recalcDelay`); marks the site changed.
    void storeDelay(double delay);
    /// handlePreferenceControl: the text of the preferences warning `textContentOptionsWarning`,
    /// or a null string when the warning is hidden: shown when a text-content "ignore" default
    /// is set and column 1 of the matrix `searchEntireSource` is selected.
    QString textContentOptionsWarning(int searchEntireSourceColumn) const;
    /// The same for the text-content defaults of `defaults`.
    static QString textContentOptionsWarning(const platform::UserDefaults& defaults, int searchEntireSourceColumn);
    /// The starting URL of `row`'s site passed through `validateStartingUrl`; null for a header.
    QString visitSelected(int row) const;

    // ----- current site -----
    QString getIDForCurrentSite() const override;
    QString getNameForCurrentSite() const;
    QString getStartingURLForCurrentSite() const;
    void setNewStartingurl(const QString& url) override;
    void switchWordpressUrlsOn(bool on) override;
    void setTimeStampForCurrentSite() override;
    /// The clock that stamps a scanned site's `dateStamp` (the system's, in UTC, unless set).
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    void setStatusForCurrentSite(const QString& status);
    bool setNameIfStillDefault(const QString& name);
    void setCrawlsSinglePage(bool on);
    /// Whether `path` names a URL list (".csv" or ".txt", any case), whose opening asks
    /// `urlListScopeQuestion`.
    static bool isUrlListPath(const QString& path);
    /// The program's own documents, told by the name's extension compared exactly: ".lcsettings"
    /// a site's settings file, ".lcsbatch" a site list. Anything else is neither, ".LCSETTINGS"
    /// included (the window and a scan without windows apply this one rule).
    enum class OwnDocument { None, SiteSettings, SiteList };
    static OwnDocument ownDocumentOf(const QString& path);
    /// Whether `path` ends in an own document's extension written in another case
    /// (".LCSETTINGS", ".LcsBatch"): a name that is no own document but looks like one.
    static bool hasOwnExtensionInOtherCase(const QString& path);
    /// The keys this store keeps in the defaults store for itself: the site list, its folders,
    /// their order and the selection. No other program part and no command line sets them.
    static const QStringList& storeKeys();
    /// The question a URL list asks when it is opened: the first answer, the default, checks
    /// just the listed URLs (`setCrawlsSinglePage` YES); the second follows each of them.
    static ShellAlert urlListScopeQuestion();
    /// The keys of `values` into the selected site's working copy, marked changed.
    void setCurrentSettingsValues(const QVariantMap& values);
    /// The same for the site `siteId` (a scan's results may belong to a site that is no longer
    /// selected): another site's entry is stored at once; an empty id means the selected site.
    /// An unknown id changes nothing.
    void setSettingsValues(const QString& siteId, const QVariantMap& values);
    void setArchiveSaveLocation(const QString& path);
    /// The archive folder of the site `siteId` (the scanned one, selected or not); an unknown
    /// identifier changes nothing.
    void setArchiveSaveLocation(const QString& siteId, const QString& path) override;
    QString filenameFromCurrentStartingURL() const;
    /// A usable starting URL: trimmed; kept when it holds "://"; a local path ("/…", "~/…")
    /// becomes a file URL with XML entities decoded; anything else gets "http://". A string
    /// that is no URL is percent- and IDNA-encoded. Null for a null or empty string.
    static QString validateStartingUrl(const QString& text);

    // ----- crawl rule lists and sitemap rules -----
    /// The four lists in their order (tags 0-3): Ignore, Do not check, Do not follow, Only follow.
    static const QStringList& ruleListKeys();
    static const QStringList& legacyRuleKeys();
    /// `site` with each rule list it holds only in the older comma-separated form added as a
    /// list of its trimmed terms (empty ones dropped); the older texts stay. Sites get these
    /// lists when they are loaded or imported, so a scan applies the rules the Rules tab shows.
    static QVariantMap withRuleLists(QVariantMap site);
    static const QStringList& ruleListLabels();
    /// The working list of tag 0-3 (empty for another tag).
    QStringList ruleList(int tag) const;
    int blacklistRuleCount() const;
    /// The term at a row of the combined table, with its list tag; nullopt beyond the last.
    std::optional<std::pair<int, QString>> blacklistRuleAtIndex(int row) const;
    /// Appends `text` (with "!" first when `doesNotContain`) to list `tag`; empty text adds
    /// nothing. Always marks the site changed.
    void addBlacklistRule(int tag, bool doesNotContain, const QString& text);
    void deleteBlacklistRule(int row);
    /// Replaces a row's term by an edited one at the end of list `tag`.
    void editBlacklistRule(int row, int tag, bool doesNotContain, const QString& text);
    const QVariantList& sitemapRules() const { return m_sitemapRules; }
    void addSitemapRule();
    void addThisSitemapRule(const QVariantMap& rule);
    /// The same for the stored site `siteId` (a scan's results may belong to a site that is no
    /// longer selected): stored at once; the selected site, or an empty id, as above.
    void addThisSitemapRule(const QString& siteId, const QVariantMap& rule);
    void deleteSitemapRule(int row);
    /// Sets one field of a rule: `match` flips; `contains`, `priority`, `update` take `text`.
    void userFinishedEditingSitemapRule(int row, const QString& field, const QString& text = QString());
    /// Posts CrwlSitemapRulesDidChange.
    void saveAndCloseRules();
    void saveRules();

    // ----- site list, sorting, search and folders -----
    const QList<WebtallyWebsiteNavigationItem>& rows() const { return m_rows; }
    void buildDatasourceArray();
    void rebuildDataSourceAndReloadTableView();
    /// IconSizeCallback: the site list takes the row size of `sitesTableIconSize` (rows and
    /// thumbnails built again) and selects the current site again.
    void IconSizeCallback() { rebuildDataSourceAndReloadTableView(); }
    /// The application's values that sites without their own take (the preferences' new-site
    /// settings) changed: the settings pane shows what the shown site's scan now uses.
    void followApplicationSettings();
    void selectCurrentSettingsInInterfaceIfPossible();
    /// The user selected `row` of the site list (-1 none).
    void tableViewSelectionDidChange(int row);
    int selectedRow() const { return m_selectedRow; }
    void filter(const QString& searchText);
    bool shouldBeVisible(const QVariantMap& site) const;
    void sortWebsites();
    void setSortingByName() { setSorting(QStringLiteral("name")); }
    void setSortingByURL() { setSorting(crawlKey::startingUrl); }
    void setSortingByDate() { setSorting(QStringLiteral("dateStamp")); }
    QString sortKey() const;
    bool settingsAreWithinOpenFolder(const QVariantMap& site) const;
    QString openFolder() const;
    QStringList getFolderDataSourceArray() const;
    QStringList folderList() const;
    static QString getFolderName(const QVariantMap& site);
    std::optional<QVariantMap> firstWebsiteInFolder(const QString& name) const;
    bool folderNameExists(const QString& name) const;
    void addFolderToFolderList(const QString& name);
    /// Lists the folders `sites` name that the folder list lacks, then shows the list again.
    void listFoldersOf(const QList<QVariantMap>& sites);
    void addFolderToFolderSortingIfNecessary(const QString& name);
    bool isFolderCollapsed(const QString& name) const;
    void purgeFolderList();
    /// Rebuilds `folderList` from the sites when it is empty and hands the names to the view.
    void populateFolderMenus();
    void moveSelectedToFolder(int clickedRow, const QString& folder);
    /// True when the site moved into a new folder (an existing or empty name does nothing; a
    /// fixed row's label is refused with an alert).
    bool createNewFolderAndMoveSelected(int clickedRow, const QString& name);
    /// Lists a new folder; a name already listed, or a fixed row's label, is refused with an
    /// alert that says so.
    void createNewFolder(const QString& name);
    /// Asks, then deletes folder row `folderRow` (rows 0 and 1 are the fixed rows).
    void deleteSelectedFolder(int folderRow);
    void renameFolder(const QString& oldName, const QString& newName);
    /// The folder table's row `folderRow` was edited to `name`: renames that named folder
    /// (rows 2 on) when the trimmed name is new. False, and nothing changed, for the fixed rows,
    /// an unchanged or empty name, the fixed rows' labels or the name of another folder; the
    /// last two say so in the alert of `createNewFolder`.
    bool userFinishedEditingFolderName(int folderRow, const QString& name);
    void userFinishedEditingWebsiteName(const QString& name);
    /// The folder row to select when the folder panel opens.
    int folderTableViewSelect() const;
    /// The folder panel closed with `folderRow` selected (-1 none): opens that folder.
    void hideFolderView(int folderRow);
    bool deleteMeIfNotUsedHasBeenUsed() const;

    // ----- site thumbnails -----
    /// The size a thumbnail is shown at.
    static constexpr QSize kThumbDisplaySize { 196, 128 };
    /// Installs what makes thumbnail getters (nullptr: thumbnails are never fetched).
    void setThumbGetterFactory(std::shared_ptr<ThumbGetterFactory> factory);
    /// The defaults' `sitesTableIconSize` (1 when unset): 0 small rows without thumbnails.
    qint64 sitesTableIconSize() const;
    /// The file name of a site's thumbnail: the `id` itself when it is one safe path component
    /// (not empty, ".", "..", at most 255 UTF-8 bytes, no "/", "\", NUL or control character),
    /// else the hex SHA-256 of its UTF-8 form, so no stored id can name a file elsewhere.
    static QString thumbFileName(const QString& siteID);
    /// The thumbnail file of a site in the "thumbs" folder (which need not exist).
    static QString thumbPathForSiteID(const QString& siteID);
    /// The site's stored thumbnail drawn at display size; null when there is no readable file.
    QImage getThumbForWebsiteWithoutFetching(const QVariantMap& site) const;
    /// Not forced: as `getThumbForWebsiteWithoutFetching`. Forced (and a factory installed):
    /// makes the thumbs folder, starts a getter for the site's starting URL that writes the
    /// site's thumbnail file, keeps it, and answers the placeholder at display size. A site's
    /// thumbnail is made once at a time: while a getter for the same file and starting URL is
    /// at work no other starts, and one for a starting URL the site has left is dropped.
    QImage getThumbForWebsite(const QVariantMap& site, bool forceRefresh);
    /// `image` drawn into a new image of display size.
    static QImage resizedImageFromImage(const QImage& image);
    /// The placeholder picture ("defaultWebIcon") at display size.
    static QImage placeholderThumb();
    /// A getter has written its file: with thumbnails shown, the row whose starting URL is the
    /// getter's URL takes its site's stored thumbnail, and the list reloads.
    void WTGCallback(ThumbGetter& getter);
    /// The getters made so far, for tests.
    std::size_t thumbGetterCount() const { return m_retainArray.size(); }

    // ----- settings files -----
    /// Write the selected site's settings, or every site's, to `path`; false, with the reason in
    /// `failure` when given, when nothing could be written. A file that holds a password is
    /// the user's alone (0600). Edits of the pane not yet copied to the site are taken first, so
    /// the file holds what the pane shows.
    bool exportSelectedSettings(const QString& path, QString* failure = nullptr);
    bool exportAllSettings(const QString& path, QString* failure = nullptr);
    /// Selects `site`, a new one stored at once first (its id, when it has none, made against
    /// the list as the store's file holds it). False, changing nothing, when it cannot be
    /// stored; `lastStoreFailure` then says why.
    bool importLcsettings(const QVariantMap& site);
    QString lastStoreFailure() const { return m_lastStoreFailure; }
    int importLcsBatch(const QVariantList& sites);
    /// The shell's reading of a ".lcsettings" file: empty, unreadable or non-dictionary files
    /// are logged and change nothing; otherwise `importLcsettings`.
    bool openLcsettingsFile(const QString& path);
    /// The same for ".lcsbatch" files; the number of sites added.
    int openLcsbatchFile(const QString& path);
    /// A local page or document (a file URL string) becomes a starting URL: the blank site's,
    /// or, after asking, a new site's or the selected site's.
    bool openFileAsStartingUrl(const QString& fileUrl);

private:
    /// "Folder exists": the alert of a folder name that is taken.
    void alertFolderExists(const QString& name) const;
    int alert(const ShellAlert& alert) const;
    /// Tells that the sites of the settings file `path` were not added: `m_lastStoreFailure`.
    void alertStoreFailure(const QString& path) const;
    /// Puts `url` into the shown site's starting-URL field and the window title, which follows
    /// the site shown.
    void showStartingUrl(const QString& url);
    void beep() const;
    void setSorting(const QString& key);
    void loadRules();
    /// The site a scan write-back goes to: the working copy, or the list entry of the scanned
    /// site when another one is selected (nullptr when that site is gone).
    QVariantMap* writeBackTarget(bool* isCurrent);
    void finishWriteBack(bool isCurrent);

    platform::UserDefaults& m_defaults;
    ConfigView* m_view = nullptr;
    std::function<bool()> m_scanning;
    std::shared_ptr<ShellPrompts> m_prompts;
    std::function<void()> m_clearAllDataSources;

    QList<QVariantMap> m_websites;
    QList<WebtallyWebsiteNavigationItem> m_rows;
    QVariantList m_folderSorting;
    QVariantMap m_current;
    QString m_deleteMeIfNotUsed; ///< id of the placeholder site of an empty folder
    QString m_scanSiteID;
    QString m_searchText;
    QList<QStringList> m_rules; ///< the four working rule lists, tags 0-3
    QVariantList m_sitemapRules;
    int m_selectedRow = -1;
    int m_uniqueCounter = 0;
    QString m_lastStoreFailure;
    bool m_dirty = false;
    bool m_woken = false;
    bool m_tableViewEmbargoed = false;
    std::shared_ptr<ThumbGetterFactory> m_thumbFactory;
    /// A thumbnail getter of the run, with the starting URL and the file it was made for.
    struct RetainedGetter {
        QString startingUrl;
        QString location;
        std::unique_ptr<ThumbGetter> getter;
    };
    /// The thumbnail getters of the run; finished ones are dropped once there are many.
    std::vector<RetainedGetter> m_retainArray;
    /// Thumbnails read from disk by path: the file's time and size, and the shown image.
    mutable QHash<QString, std::pair<QDateTime, std::pair<qint64, QImage>>> m_thumbCache;
    std::function<QDateTime()> m_now = &QDateTime::currentDateTimeUtc;
};

} // namespace crawlmere::settings
