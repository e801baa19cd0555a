// The one declared table of crawl settings: each key with its type, its default, the values it may
// take and the code that reads it. The defaults, the value models, `--set`, the settings pane and
// the scan's own reads of numbers all take their answers from here.
#pragma once

#include "engine/CrawlSettings.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace crawlmere::engine {

/// What reads a crawl setting.
enum class SettingReader {
    Scan, ///< the scan reads it from the site's settings
    ApplicationDefaults, ///< the scan reads the application default of that name (`--set` gives it there)
    Window, ///< read outside the scan (the spelling language, the archive's folder)
    NoScan, ///< kept with a site or used by the sitemap upload; no scan reads it
};

/// The values a number setting may be given, and how a stored value outside them is read.
struct SettingRange {
    double lowest;
    double highest;
    const char* unit;
    /// A stored value below `lowest` (or not a number) reads as the setting's default rather
    /// than as `lowest`. Above `highest` always reads as `highest`.
    bool belowReadsAsDefault = false;
};

struct CrawlSetting {
    QString key;
    /// Bool, LongLong, Double, QString or QVariantList.
    QMetaType::Type type;
    /// Invalid when the setting has none: absent, it reads as NO, 0 or no text.
    QVariant defaultValue;
    std::optional<SettingRange> range;
    SettingReader reader;
    /// The code that reads it, for the reader of this table.
    const char* readBy;
    /// A site that holds no value of its own takes the application's (its defaults store's
    /// value of the same name, from the preferences, `--default` or an older store) before the
    /// table's default.
    bool applicationWide = false;
};

/// Every crawl setting, grouped as the settings pane shows them.
const QList<CrawlSetting>& crawlSettingTable();
/// The row of `key`, or null when the key is no crawl setting.
const CrawlSetting* findCrawlSetting(const QString& key);

/// The value a scan uses for `key` when `stored` is what the site holds (invalid when absent):
/// the default for an absent value; a boolean for a switch; a number held within its range
/// (`SettingRange`); text as it is. Keys outside the table come back as they are.
QVariant effectiveSettingValue(const QString& key, const QVariant& stored);
/// The same, read from a scan's shared settings.
qint64 settingIntegerInRange(const std::shared_ptr<CrawlSettings>& settings, const QString& key);
double settingDoubleInRange(const std::shared_ptr<CrawlSettings>& settings, const QString& key);

} // namespace crawlmere::engine
