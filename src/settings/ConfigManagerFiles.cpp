// Settings files of the configuration store: one site (".lcsettings") or the whole list
// (".lcsbatch") written as property lists and imported again, and local files as starting URLs.
#include "settings/ConfigManager.h"

#include "engine/CrawlSettingKeys.h"

#include "engine/PunycodeAdditions.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/SiteValueCheck.h"
#include "settings/detail/SiteListKeys.h"

#include <QSet>

namespace crawlmere::settings {

using detail::kId;
using detail::kWebsites;
using platform::logLine;
using platform::PropertyList;

namespace {

/// A site's settings that hold a password of its own (the FTP upload's, the site's log-in).
bool holdsPassword(const QVariantMap& site)
{
    return !site.value(crawlKey::ftppassword).toString().isEmpty()
        || !site.value(crawlKey::authenticationpassword).toString().isEmpty();
}

/// Writes a settings file; one that holds a password is the user's alone (0600), as the
/// defaults it comes from are. False, with the reason in `failure` when given, on failure.
bool writeSettingsFile(const QString& path, const QVariant& value, QString* failure)
{
    bool password = false;
    if (value.typeId() == QMetaType::QVariantMap)
        password = holdsPassword(value.toMap());
    for (const QVariant& site : value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList())
        password = password || holdsPassword(site.toMap());
    const auto bytes = PropertyList::toXml(value);
    QString reason = bytes ? QString() : bytes.error();
    if (bytes
        && platform::saveBytesAtomically(
            path, *bytes, &reason, password ? platform::FileAccess::OwnerOnly : platform::FileAccess::Usual)) {
        logLine(2, QStringLiteral("Successful saving data to %1\n").arg(path));
        return true;
    }
    logLine(0, QStringLiteral("Unsuccessful exporting data to %1: %2").arg(path, reason));
    if (failure)
        *failure = reason;
    return false;
}

/// The failure of an export with no settings to write.
bool nothingToExport(QString* failure)
{
    logLine(0, QStringLiteral("unable to get current settings"));
    if (failure)
        *failure = QStringLiteral("there are no settings to export");
    return false;
}

/// The root of a settings file, or an invalid QVariant (logged with the reason) when it cannot
/// be read or holds no dictionary (list) at its root.
QVariant readSettingsFile(const QString& path, const char* kind, QMetaType::Type rootType)
{
    const auto read = SiteValueCheck::readSettingsFile(path, rootType);
    if (!read.ok()) {
        logLine(0, QStringLiteral("%1 file %2 could not be read: %3").arg(QLatin1String(kind), path, read.error()));
        return QVariant();
    }
    return read.value();
}

} // namespace

bool ConfigManager::exportSelectedSettings(const QString& path, QString* failure)
{
    // The file holds what the pane shows: edits not yet copied from it are taken first.
    const QVariantMap site = currentSettings();
    if (site.isEmpty())
        return nothingToExport(failure);
    return writeSettingsFile(path, site, failure);
}

bool ConfigManager::exportAllSettings(const QString& path, QString* failure)
{
    if (m_dirty)
        synchronise();
    if (m_websites.isEmpty())
        return nothingToExport(failure);
    QVariantList list;
    for (const QVariantMap& site : m_websites)
        list.append(site);
    return writeSettingsFile(path, list, failure);
}

bool ConfigManager::importLcsettings(const QVariantMap& site)
{
    m_lastStoreFailure.clear();
    // Edits of the shown site not yet copied from the pane are kept before it is shown again.
    synchronise();
    QString siteID = site.value(kId).toString();
    if (siteID.isEmpty() || indexOfWebsiteWithID(siteID) < 0) {
        logLine(1, QStringLiteral("doesn't exist - adding to websites and pushing back"));
        // Stored at once, under the store's lock: a new id is made against the list as the file
        // holds it then, so that another program importing meanwhile never gets the same one.
        bool appended = false;
        const auto stored = m_defaults.changeUnderLock([&](const QVariantMap& file) {
            QVariantMap added = withRuleLists(site);
            if (siteID.isEmpty()) {
                QSet<QString> taken;
                for (const QVariant& listed : file.value(kWebsites).toList())
                    taken.insert(listed.toMap().value(kId).toString());
                siteID = newFilename(taken);
                added.insert(kId, siteID);
            }
            m_websites.append(added);
            appended = true;
            pushWebsitesToDefaults();
        });
        if (!stored) {
            if (appended)
                m_websites.removeLast();
            m_lastStoreFailure = stored.error();
            return false;
        }
    }
    logLine(1, QStringLiteral("selecting"));
    m_tableViewEmbargoed = true;
    m_current = *settingsForID(siteID);
    m_defaults.setObject(siteID, kId);
    rebuildDataSourceAndReloadTableView();
    implementCurrentSettings();
    m_tableViewEmbargoed = false;
    return true;
}

int ConfigManager::importLcsBatch(const QVariantList& sites)
{
    m_lastStoreFailure.clear();
    synchronise();
    int count = 0;
    QList<QVariantMap> added;
    // Decided and stored under the store's lock, against the list as the file holds it then:
    // of programs importing the same file at once, each adds (and counts) only what no other
    // added before it.
    const auto stored = m_defaults.changeUnderLock([&](const QVariantMap& file) {
        QSet<QString> known;
        for (const QVariantMap& site : std::as_const(m_websites))
            known.insert(site.value(kId).toString());
        for (const QVariant& listed : file.value(kWebsites).toList())
            known.insert(listed.toMap().value(kId).toString());
        for (const QVariant& entry : sites) {
            const QVariantMap site = entry.toMap();
            const QString siteID = site.value(kId).toString();
            if (siteID.isEmpty())
                continue;
            if (known.contains(siteID)) {
                logLine(1,
                    QStringLiteral("skipping %1: its id %2 is in the list already")
                        .arg(site.value(QStringLiteral("name")).toString(), siteID));
                continue;
            }
            // Each added id is indexed at once, so a repeat within the file is skipped too.
            known.insert(siteID);
            m_websites.append(withRuleLists(site));
            added.append(site);
            logLine(1, QStringLiteral("adding: %1").arg(site.value(QStringLiteral("name")).toString()));
            ++count;
        }
        if (count > 0)
            pushWebsitesToDefaults();
    });
    if (!stored) {
        m_websites.resize(m_websites.size() - count);
        m_lastStoreFailure = stored.error();
        logLine(0, QStringLiteral("the sites could not be stored: %1").arg(stored.error()));
        return 0;
    }
    logLine(1, QStringLiteral("added %1 sites").arg(count));
    if (count > 0) {
        m_tableViewEmbargoed = true;
        rebuildDataSourceAndReloadTableView();
        implementCurrentSettings();
        m_tableViewEmbargoed = false;
        // The folders the sites name are listed at once, as a restart would list them.
        listFoldersOf(added);
    }
    return count;
}

void ConfigManager::alertStoreFailure(const QString& path) const
{
    alert({ QStringLiteral("The sites of the file were not added"),
        QStringLiteral("%1 could not be added to the site list: %2").arg(path, m_lastStoreFailure),
        { QStringLiteral("OK") } });
}

bool ConfigManager::openLcsettingsFile(const QString& path)
{
    const QVariant root = readSettingsFile(path, "lcsettings", QMetaType::QVariantMap);
    if (!root.isValid())
        return false;
    if (root.toMap().isEmpty()) {
        logLine(0, QStringLiteral("lcsettings file %1 appears to be empty").arg(path));
        return false;
    }
    // Nothing of a file without a starting URL is stored; where it would write is never taken.
    const QVariantMap site = SiteValueCheck::withoutLocalPaths(SiteValueCheck::typedSite(root.toMap(), path), path);
    if (!SiteValueCheck::hasUsableStartingUrl(site)) {
        logLine(0, QStringLiteral("lcsettings file %1 holds no starting URL; nothing was imported").arg(path));
        return false;
    }
    if (!importLcsettings(site)) {
        logLine(0,
            m_lastStoreFailure.isNull()
                ? QStringLiteral("unsuccessful importing lcsettings file %1").arg(path)
                : QStringLiteral("The site of %1 could not be stored: %2").arg(path, m_lastStoreFailure));
        if (!m_lastStoreFailure.isNull())
            alertStoreFailure(path);
        return false;
    }
    return true;
}

int ConfigManager::openLcsbatchFile(const QString& path)
{
    const QVariant root = readSettingsFile(path, "lcsbatch", QMetaType::QVariantList);
    if (!root.isValid())
        return 0;
    if (root.toList().isEmpty()) {
        logLine(0, QStringLiteral("lcsbatch file %1 appears to be empty").arg(path));
        return 0;
    }
    QVariantList sites;
    for (const QVariant& entry : root.toList()) {
        const QVariantMap site
            = SiteValueCheck::withoutLocalPaths(SiteValueCheck::typedSite(entry.toMap(), path), path);
        if (entry.typeId() != QMetaType::QVariantMap || !SiteValueCheck::hasUsableStartingUrl(site)) {
            logLine(0, QStringLiteral("lcsbatch file %1: an entry without a starting URL is skipped").arg(path));
            continue;
        }
        sites.append(site);
    }
    const int added = importLcsBatch(sites);
    if (added == 0 && !m_lastStoreFailure.isNull())
        alertStoreFailure(path);
    if (added > 0)
        logLine(0, QStringLiteral("added %1 sites from %2").arg(QString::number(added), path));
    else
        logLine(0, QStringLiteral("unsuccessful importing lcsbatch file %1").arg(path));
    return added;
}

bool ConfigManager::openFileAsStartingUrl(const QString& fileUrl)
{
    const QString shown = m_view ? m_view->urlFieldText() : m_current.value(crawlKey::startingUrl).toString();
    bool editSelected = shown == u"https://";
    if (!editSelected) {
        // Both answers change the sites (no cancel answer: Escape does nothing).
        const int answer = alert({ QStringLiteral("Edit URL"),
            QStringLiteral("Would you like to create a new configuration for this file or edit the starting url for "
                           "this one?"),
            { QStringLiteral("Create new config"), QStringLiteral("Edit url for this one") } });
        if (answer == 0)
            newConfigWithURL(fileUrl);
        editSelected = answer != 0;
    }
    if (editSelected) {
        const QString url = PunycodeAdditions::decodedURLString(fileUrl);
        showStartingUrl(url);
        m_current.insert(crawlKey::startingUrl, url);
        m_dirty = true;
        rebuildDataSourceAndReloadTableView();
    }
    if (sitesTableIconSize() > 0)
        getThumbForWebsite(m_current, true);
    return true;
}

} // namespace crawlmere::settings
