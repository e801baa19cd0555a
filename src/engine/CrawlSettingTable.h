// The one declared table of crawl settings: each key with its type, its default, the values it may
// take, what reads it and how the settings pane offers it (control, label, help anchor). The
// defaults, the value models, `--set` and `--default`, the settings pane, the preferences, the
// help buttons and the scan's own reads take their answers from here.
#pragma once

#include "engine/CrawlSettingKeys.h"
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
    Target, ///< the starting URL: the scan reads the site's, or a headless scan's TARGET
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

/// The control that edits a setting in the settings pane.
enum class SettingControl {
    None, ///< not in the pane (set by a scan, a settings file or `--set`)
    StartingUrl, ///< the starting URL's field; stored when it has a text
    Check, ///< a checkbox, ticked for YES
    InvertedCheck, ///< a checkbox, ticked for NO
    Text, ///< one line of text; stored when it has a text
    Limit, ///< a whole number within the range; stored only above 0
    RequestRate, ///< a whole number within the range; stored when not 0
    Seconds, ///< a number of seconds within the range, tenths kept; stored when not 0
    Threads, ///< a slider over the range, with a label showing its value
    Language, ///< a pop-up of the languages of the installed dictionaries
};

/// How the settings pane offers a setting.
struct SettingPaneEntry {
    SettingControl control = SettingControl::None;
    /// The control's label (the checkbox's title), untranslated.
    const char* label = nullptr;
    /// The manual's topic that the "?" beside the control opens ("robots:"), or null.
    const char* helpAnchor = nullptr;
    /// Built hidden and kept bound: the feature is not offered by this build.
    bool hidden = false;
};

struct CrawlSetting {
    QString key;
    /// Bool, LongLong, Double, QString or QVariantList.
    QMetaType::Type type;
    /// Invalid when the setting has none: absent, it reads as NO, 0 or no text.
    QVariant defaultValue;
    std::optional<SettingRange> range;
    SettingReader reader;
    SettingPaneEntry pane;
    /// A site that holds no value of its own takes the application's (its defaults store's
    /// value of the same name, from the preferences, `--default` or an older store) before the
    /// table's default.
    bool applicationWide = false;
};

/// Every crawl setting, grouped by what it is about.
const QList<CrawlSetting>& crawlSettingTable();
/// The row of `key`, or null when the key is no crawl setting.
const CrawlSetting* findCrawlSetting(const QString& key);
/// The row of a declared key; every key of `engine::key` has one.
const CrawlSetting& crawlSetting(CrawlSettingKey key);
/// The range of a number setting of the table. A key without one (a caller's mistake that the
/// table's tests rule out for every control) gets the widest range of its type.
const SettingRange& crawlSettingRange(CrawlSettingKey key);
/// The same for a row found by name: the widest range when there is no row or it has no range.
const SettingRange& crawlSettingRange(const CrawlSetting* setting);

/// Whether `stored` stands for no value of `setting`: a text of only white space (or none) of a
/// setting the pane offers as a text field (the user agent, the Accept-Language, the session
/// parameter). A site, the application's store or `--set` holding one takes the next value in
/// line, as an absent one does: a blank user agent sends the default one, never an empty one.
bool readsAsAbsent(const CrawlSetting& setting, const QVariant& stored);

/// The value a scan uses for `key` when `stored` is what the site holds (invalid when absent):
/// the default for an absent value; a boolean for a switch; a number held within its range
/// (`SettingRange`); text as it is. Keys outside the table come back as they are.
QVariant effectiveSettingValue(const QString& key, const QVariant& stored);
/// The same, read from a scan's shared settings.
qint64 settingIntegerInRange(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key);
double settingDoubleInRange(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key);

} // namespace crawlmere::engine
