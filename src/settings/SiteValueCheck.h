// The checks a site read from a settings file passes before it joins the site list: value
// types of the keys a site holds, a usable starting URL, and the size and kind of the file.
#pragma once

#include "platform/Expected.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace crawlmere::settings {

class SiteValueCheck {
public:
    /// Settings files larger than this are refused unread: a list of thousands of sites stays
    /// far below it, and every later start reads the site list in full.
    static constexpr qint64 kMaxSettingsFileBytes = qint64(16) * 1024 * 1024;

    /// The site with every value whose type does not fit its key left out, each one logged
    /// with its key. Texts: "id", "name", "startingUrl", "folder", "status" and the older
    /// comma-separated rule lists; lists: the rule lists and "sitemapRules"; a date:
    /// "dateStamp". The crawl settings that are switches or numbers take a boolean, a number or
    /// a text that reads as their type ("YES", "12"; not "maybe" or "lots"); the other crawl
    /// settings a boolean, a number or a text (`CrwlUrl::crawlSettingModels`). Keys the program
    /// does not know are kept as they are. With `source` null nothing is logged.
    static QVariantMap typedSite(const QVariantMap& site, const QString& source = QString());

    /// The keys of a site that name a folder or file of this computer for the program to write
    /// into ("archiveSaveLocation"): only a choice the user made here may set them.
    static const QStringList& localPathKeys();
    /// The site without its `localPathKeys`: a site read from a settings file, a site list or
    /// another import writes where the user chooses, never where the file says (the site then
    /// asks, as a new one does). Every other value is kept. With `source` set, each key dropped
    /// is logged with it.
    static QVariantMap withoutLocalPaths(const QVariantMap& site, const QString& source = QString());

    /// A "startingUrl" text that is not blank.
    static bool hasUsableStartingUrl(const QVariantMap& site);

    /// The root value of a settings file, of `rootType` (a dictionary or a list), or why it
    /// cannot be used: not a regular file, larger than `kMaxSettingsFileBytes`, not a property
    /// list, truncated, or a root of another type. An empty root is returned as it is.
    static platform::Expected<QVariant> readSettingsFile(const QString& path, QMetaType::Type rootType);
};

} // namespace crawlmere::settings
