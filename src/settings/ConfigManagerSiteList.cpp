// The site list of the configuration store: rows, sorting, search, folders and the placeholder
// site of an empty folder.
#include "settings/ConfigManager.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/StoredValue.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "settings/detail/SiteListKeys.h"

#include <QDateTime>

#include <algorithm>

namespace crawlmere::settings {

using detail::kFolder;
using detail::kFolderList;
using detail::kId;
using detail::kName;
using platform::logLine;

namespace {

const QString kSmartFolder = defaultsKey::smartFolderSelected;

} // namespace

// ----- rows ----------------------------------------------------------------------------------

void ConfigManager::sortWebsites()
{
    // Sites of one key keep the order of their identifiers: a row shows the same site whatever
    // order the list was in before.
    const auto byId
        = [](const QVariantMap& a, const QVariantMap& b) { return a.value(kId).toString() < b.value(kId).toString(); };
    const QString key = sortKey();
    if (key == u"dateStamp") {
        std::stable_sort(m_websites.begin(), m_websites.end(), [&byId](const QVariantMap& a, const QVariantMap& b) {
            const QDateTime first = a.value(QStringLiteral("dateStamp")).toDateTime();
            const QDateTime second = b.value(QStringLiteral("dateStamp")).toDateTime();
            return first != second ? first > second : byId(a, b);
        });
        return;
    }
    std::stable_sort(m_websites.begin(), m_websites.end(), [&key, &byId](const QVariantMap& a, const QVariantMap& b) {
        const int order = a.value(key).toString().compare(b.value(key).toString(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : byId(a, b);
    });
}

QString ConfigManager::sortKey() const
{
    const QString key = m_defaults.value(defaultsKey::websitesSortKey);
    return key == crawlKey::startingUrl || key == u"dateStamp" ? key : QStringLiteral("name");
}

void ConfigManager::setSorting(const QString& key)
{
    if (key == u"name")
        logLine(1, QStringLiteral("setting sorting by name"));
    else if (key == crawlKey::startingUrl)
        logLine(1, QStringLiteral("setting sorting by url"));
    m_defaults.setObject(key, defaultsKey::websitesSortKey);
    if (m_view)
        m_view->markSelectedSort(key);
    rebuildDataSourceAndReloadTableView();
}

void ConfigManager::buildDatasourceArray()
{
    sortWebsites();
    const QVariant stored = m_defaults.objectForKey(kSmartFolder);
    const qint64 smart = stored.isValid() ? m_defaults.integerForKey(kSmartFolder) : 1;
    const auto selected = settingsForID(m_defaults.stringForKey(kId));
    const QString folder = selected ? getFolderName(*selected) : QString();
    QString header = kDefaultFolder;
    if (smart == 1)
        header = kAllSites;
    else if (smart == 0 && !folder.isEmpty())
        header = folder;
    addFolderToFolderSortingIfNecessary(header);

    m_rows.clear();
    m_rows.append({ header, QString(), QString(), QImage() });
    for (const QVariantMap& site : std::as_const(m_websites)) {
        if ((smart == 1 || settingsAreWithinOpenFolder(site)) && shouldBeVisible(site)) {
            QString siteID = site.value(kId).toString();
            if (siteID.isNull())
                siteID = QStringLiteral(""); // a site row, even without an identifier
            m_rows.append({ site.value(kName).toString(), site.value(crawlKey::startingUrl).toString(), siteID,
                getThumbForWebsite(site, false) });
        }
    }
}

void ConfigManager::rebuildDataSourceAndReloadTableView()
{
    buildDatasourceArray();
    if (m_view)
        m_view->reloadSiteList();
    selectCurrentSettingsInInterfaceIfPossible();
}

void ConfigManager::selectCurrentSettingsInInterfaceIfPossible()
{
    const QString currentID = m_current.value(kId).toString();
    if (currentID.isEmpty())
        return;
    int row = -1;
    for (int i = 1; i < m_rows.size(); ++i) {
        if (m_rows.at(i).ID == currentID) {
            row = i;
            break;
        }
    }
    const bool embargoed = m_tableViewEmbargoed;
    m_tableViewEmbargoed = true;
    m_selectedRow = row;
    if (m_view)
        m_view->selectSiteRow(row);
    m_tableViewEmbargoed = embargoed;
}

void ConfigManager::tableViewSelectionDidChange(int row)
{
    if (m_tableViewEmbargoed)
        return;
    logLine(1, QStringLiteral("tableViewSelectionDidChange:"));
    synchronise();
    m_selectedRow = row;
    if (const auto site = settingsForDataSourceRow(row)) {
        if (sitesTableIconSize() > 0)
            getThumbForWebsite(*site, true);
        makeCurrentSettingsFromUserSelectedWebsite();
        implementCurrentSettings();
    }
    logLine(1, QStringLiteral("tableViewSelectionDidChange: finished"));
}

void ConfigManager::filter(const QString& searchText)
{
    m_searchText = searchText;
    rebuildDataSourceAndReloadTableView();
}

bool ConfigManager::shouldBeVisible(const QVariantMap& site) const
{
    if (m_searchText.isEmpty())
        return true;
    return site.value(kName).toString().contains(m_searchText, Qt::CaseInsensitive)
        || site.value(crawlKey::startingUrl).toString().contains(m_searchText, Qt::CaseInsensitive);
}

// ----- folders -------------------------------------------------------------------------------

QString ConfigManager::getFolderName(const QVariantMap& site) { return site.value(kFolder).toString(); }

QString ConfigManager::openFolder() const
{
    const auto site = settingsForID(m_defaults.stringForKey(kId));
    const QString folder = site ? getFolderName(*site) : QString();
    return folder.isEmpty() || isFixedFolderName(folder) ? QString() : folder;
}

bool ConfigManager::settingsAreWithinOpenFolder(const QVariantMap& site) const
{
    const QString folder = getFolderName(site);
    const QString open = openFolder();
    if (!folder.isEmpty() && !isFixedFolderName(folder))
        return folder == open;
    return open.isEmpty();
}

QStringList ConfigManager::folderList() const { return m_defaults.stringArrayForKey(kFolderList); }

QStringList ConfigManager::getFolderDataSourceArray() const
{
    return QStringList { kAllSites, kDefaultFolder } + folderList();
}

std::optional<QVariantMap> ConfigManager::firstWebsiteInFolder(const QString& name) const
{
    for (const QVariantMap& site : m_websites) {
        if (getFolderName(site) == name)
            return site;
    }
    return std::nullopt;
}

bool ConfigManager::folderNameExists(const QString& name) const { return folderList().contains(name); }

void ConfigManager::addFolderToFolderList(const QString& name)
{
    m_defaults.setObject(folderList() << name, kFolderList);
}

void ConfigManager::listFoldersOf(const QList<QVariantMap>& sites)
{
    QStringList folders = folderList();
    const qsizetype before = folders.size();
    for (const QVariantMap& site : sites) {
        const QString name = getFolderName(site);
        if (!name.isEmpty() && name != kDefaultFolder && name != kAllSites && !folders.contains(name))
            folders.append(name);
    }
    if (folders.size() == before)
        return;
    m_defaults.setObject(folders, kFolderList);
    populateFolderMenus();
    const bool embargoed = m_tableViewEmbargoed;
    m_tableViewEmbargoed = true;
    if (m_view)
        m_view->reloadFolderTable();
    m_tableViewEmbargoed = embargoed;
}

void ConfigManager::addFolderToFolderSortingIfNecessary(const QString& name)
{
    for (const QVariant& entry : std::as_const(m_folderSorting)) {
        if (entry.toMap().value(kName).toString() == name)
            return;
    }
    m_folderSorting.append(
        QVariantMap { { kName, name }, { QStringLiteral("sort"), 0 }, { QStringLiteral("visibility"), true } });
    m_defaults.setObject(m_folderSorting, defaultsKey::CrwlFolderSorting);
}

bool ConfigManager::isFolderCollapsed(const QString& name) const
{
    for (const QVariant& entry : m_folderSorting) {
        const QVariantMap folder = entry.toMap();
        if (folder.value(kName).toString() == name)
            return !crawlmere::platform::boolValue(folder.value(QStringLiteral("visibility")));
    }
    return false;
}

void ConfigManager::purgeFolderList()
{
    QStringList purged;
    for (const QString& name : folderList()) {
        if (name != kDefaultFolder && name != kAllSites && !purged.contains(name))
            purged.append(name);
    }
    m_defaults.setObject(purged, kFolderList);
}

void ConfigManager::populateFolderMenus()
{
    QStringList folders = folderList();
    if (folders.isEmpty()) {
        for (const QVariantMap& site : std::as_const(m_websites)) {
            const QString name = getFolderName(site);
            if (!name.isEmpty() && !folders.contains(name))
                folders.append(name);
        }
        m_defaults.setObject(folders, kFolderList);
    }
    if (m_view)
        m_view->populateFolderMenus(folders);
}

void ConfigManager::moveSelectedToFolder(int clickedRow, const QString& folder)
{
    logLine(1, QStringLiteral("request to move selected to folder: %1").arg(folder));
    const auto site = settingsForDataSourceRow(clickedRow);
    if (!site)
        return;
    const QString siteID = site->value(kId).toString();
    m_websites[indexOfWebsiteWithID(siteID)].insert(kFolder, folder);
    // The working copy follows, or the next synchronise would move the site back.
    if (siteID == m_current.value(kId).toString())
        m_current.insert(kFolder, folder);
    pushWebsitesToDefaults();
    m_defaults.setInteger(0, kSmartFolder);
    rebuildDataSourceAndReloadTableView();
}

bool ConfigManager::createNewFolderAndMoveSelected(int clickedRow, const QString& name)
{
    const auto clicked = settingsForDataSourceRow(clickedRow);
    if (!clicked)
        return false;
    const QString siteID = clicked->value(kId).toString();
    synchronise();
    if (name.isEmpty() || folderNameExists(name))
        return false;
    // A fixed row's label is refused as renaming refuses it.
    if (isFixedFolderName(name)) {
        alertFolderExists(name);
        return false;
    }
    m_current = *settingsForID(siteID);
    m_current.insert(kFolder, name);
    m_defaults.setObject(siteID, kId);
    implementCurrentSettings();
    pushCurrentSettingsToWebsites();
    pushWebsitesToDefaults();
    m_defaults.setInteger(0, kSmartFolder);
    addFolderToFolderList(name);
    populateFolderMenus();
    rebuildDataSourceAndReloadTableView();
    return true;
}

void ConfigManager::createNewFolder(const QString& name)
{
    logLine(1, QStringLiteral("create new folder"));
    if (name.isEmpty())
        return;
    if (folderNameExists(name) || isFixedFolderName(name)) {
        alertFolderExists(name);
        return;
    }
    addFolderToFolderList(name);
    populateFolderMenus();
    m_tableViewEmbargoed = true;
    if (m_view)
        m_view->reloadFolderTable();
    m_tableViewEmbargoed = false;
}

void ConfigManager::alertFolderExists(const QString& name) const
{
    alert({ QStringLiteral("Folder exists"), QStringLiteral("There is already a folder named '%1'.").arg(name),
        { QStringLiteral("OK") } });
}

void ConfigManager::deleteSelectedFolder(int folderRow)
{
    const QStringList rows = getFolderDataSourceArray();
    logLine(1, QStringLiteral("Chosen row is %1 of folderlist is %2").arg(QString::number(folderRow), rows.join(u',')));
    if (folderRow < 0 || folderRow >= rows.size())
        return;
    const QString name = rows.at(folderRow);
    // "All sites" and "Default folder" are no folders of their own: nothing to ask or delete.
    if (isFixedFolderName(name))
        return;
    const int answer = alert({ .messageText = QStringLiteral("Delete Folder?"),
        .informativeText = QStringLiteral("Do you want to delete the folder '%1'?").arg(name),
        .buttons = { QStringLiteral("OK"), QStringLiteral("Cancel") },
        .cancelButton = 1 });
    if (answer != 0)
        return;
    QStringList kept;
    for (const QString& folder : folderList()) {
        if (!folder.isEmpty() && folder != kDefaultFolder && folder != kAllSites && folder != name)
            kept.append(folder);
    }
    m_defaults.setObject(kept, kFolderList);
    for (QVariantMap& site : m_websites) {
        if (getFolderName(site) == name)
            site.remove(kFolder);
    }
    // The working copy follows, or the next synchronise would write the deleted name back.
    if (getFolderName(m_current) == name)
        m_current.remove(kFolder);
    pushWebsitesToDefaults();
    populateFolderMenus();
    m_tableViewEmbargoed = true;
    if (m_view)
        m_view->reloadFolderTable();
    m_tableViewEmbargoed = false;
    rebuildDataSourceAndReloadTableView();
}

void ConfigManager::renameFolder(const QString& oldName, const QString& newName)
{
    logLine(1, QStringLiteral("instruction to rename %1 to %2").arg(oldName, newName));
    QStringList folders;
    for (const QString& folder : folderList())
        folders.append(folder == oldName ? newName : folder);
    folders.removeAll(kAllSites);
    folders.removeAll(kDefaultFolder);
    m_defaults.setObject(folders, kFolderList);
    for (QVariantMap& site : m_websites) {
        if (getFolderName(site) == oldName)
            site.insert(kFolder, newName);
    }
    if (getFolderName(m_current) == oldName)
        m_current.insert(kFolder, newName);
    pushWebsitesToDefaults();
    populateFolderMenus();
    rebuildDataSourceAndReloadTableView();
}

bool ConfigManager::userFinishedEditingFolderName(int folderRow, const QString& name)
{
    logLine(1, QStringLiteral("userFinishedEditingFolderName received from row %1").arg(folderRow));
    const QStringList rows = getFolderDataSourceArray();
    const QString wanted = name.trimmed();
    if (folderRow < 2 || folderRow >= rows.size() || wanted.isEmpty() || wanted == rows.at(folderRow))
        return false;
    // Another folder's name, or a fixed row's: refused, and the user told why.
    if (rows.contains(wanted) || wanted == kAllSites || wanted == kDefaultFolder) {
        alertFolderExists(wanted);
        return false;
    }
    renameFolder(rows.at(folderRow), wanted);
    return true;
}

void ConfigManager::userFinishedEditingWebsiteName(const QString& name)
{
    logLine(1, QStringLiteral("new value: %1").arg(name));
    if (name == m_current.value(kName).toString()) {
        logLine(1, QStringLiteral("no change"));
        return;
    }
    m_current.insert(kName, name);
    m_dirty = true;
    synchronise();
    rebuildDataSourceAndReloadTableView();
}

int ConfigManager::folderTableViewSelect() const
{
    const qint64 smart = m_defaults.objectForKey(kSmartFolder).isValid() ? m_defaults.integerForKey(kSmartFolder) : 1;
    if (smart == 1)
        return 0;
    const QString folder = getFolderName(m_current);
    if (smart == 0 && !folder.isEmpty() && folder != kDefaultFolder) {
        const QStringList rows = getFolderDataSourceArray();
        const int index = static_cast<int>(rows.indexOf(folder, 2));
        return index < 0 ? 0 : index;
    }
    return 1;
}

bool ConfigManager::deleteMeIfNotUsedHasBeenUsed() const
{
    if (m_deleteMeIfNotUsed.isEmpty())
        return true;
    auto placeholder = m_deleteMeIfNotUsed == m_current.value(kId).toString() ? std::optional(m_current)
                                                                              : settingsForID(m_deleteMeIfNotUsed);
    if (!placeholder)
        return true;
    return placeholder->value(crawlKey::startingUrl).toString() != u"https://"
        || placeholder->value(kName).toString() != kNewSiteName;
}

void ConfigManager::hideFolderView(int folderRow)
{
    // Edits of the site shown so far are kept before another site is shown.
    synchronise();
    const QStringList rows = getFolderDataSourceArray();
    std::optional<QString> opened;
    if (folderRow <= 0 || folderRow >= rows.size()) {
        m_defaults.setInteger(1, kSmartFolder);
    } else if (folderRow == 1) {
        logLine(1, QStringLiteral("hideFolderView, default folder selected"));
        m_defaults.setInteger(2, kSmartFolder);
        opened = QString();
    } else {
        m_defaults.setInteger(0, kSmartFolder);
        opened = rows.at(folderRow);
    }
    if (opened) {
        auto shown = opened->isEmpty() ? firstWebsiteInFolder(QString()) : firstWebsiteInFolder(*opened);
        if (!shown) {
            const qsizetype placeholder = indexOfWebsiteWithID(m_deleteMeIfNotUsed);
            if (deleteMeIfNotUsedHasBeenUsed() || placeholder < 0) {
                QVariantMap blank = getBlankSettings();
                blank.insert(kFolder, *opened);
                m_websites.append(blank);
                m_deleteMeIfNotUsed = blank.value(kId).toString();
                shown = blank;
            } else {
                m_websites[placeholder].insert(kFolder, *opened);
                shown = m_websites.at(placeholder);
            }
        }
        m_current = *shown;
        m_defaults.setObject(m_current.value(kId), kId);
    }
    const QString shownID = m_current.value(kId).toString();
    if (!m_deleteMeIfNotUsed.isEmpty() && m_deleteMeIfNotUsed != shownID && !deleteMeIfNotUsedHasBeenUsed()) {
        const qsizetype index = indexOfWebsiteWithID(m_deleteMeIfNotUsed);
        if (index >= 0)
            m_websites.removeAt(index);
        m_deleteMeIfNotUsed.clear();
    }
    rebuildDataSourceAndReloadTableView();
    implementCurrentSettings();
}

} // namespace crawlmere::settings
