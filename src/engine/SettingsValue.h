// Typed reads of a scan's crawl settings: a number or a "YES"/"NO" text read as a boolean, a
// text read as a number, and absent values read as NO or 0.
#pragma once

#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettings.h"
#include "platform/StoredValue.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace crawlmere::engine {

// The one reading of a stored value of each kind, shared with the application defaults, the
// parsers and the windows.
using crawlmere::platform::boolValue;
using crawlmere::platform::doubleValue;
using crawlmere::platform::integerValue;
using crawlmere::platform::stringValue;

/// The same reads from a scan's shared settings. A null dictionary or an absent key reads
/// as NO, 0, 0.0 or a null string. They never insert into the dictionary.
/// Only the declared keys of `engine::key` are taken, so a misspelt key does not compile.
bool settingBool(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key);
qint64 settingInteger(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key);
double settingDouble(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key);
QString settingString(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key);

/// Shortest time-out a scan uses, in seconds.
inline constexpr double kShortestTimeoutSeconds = 1.0;
/// Longest time-out a scan uses, in seconds: a larger setting ("inf", "1e300") reads as this, so
/// its conversion to milliseconds stays in range.
inline constexpr double kLongestTimeoutSeconds = 3600.0;
/// Longest pause before each request, in seconds: a stored larger "delay" reads as this. The
/// request-rate controls never store more than 20 s.
inline constexpr double kLongestDelaySeconds = 60.0;
/// The scan's "timeout" in seconds: below `kShortestTimeoutSeconds`, absent or not a number
/// reads as the default 30 s; above `kLongestTimeoutSeconds` as that.
double settingTimeoutSeconds(const std::shared_ptr<CrawlSettings>& settings);

/// The Accept-Language every request of a scan sends: the setting's text, or "*" when it has none.
QString settingAcceptLanguage(const std::shared_ptr<CrawlSettings>& settings);

/// Fewest and most fetches a scan keeps in flight, as the thread controls offer them.
inline constexpr qint64 kFewestThreads = 1;
inline constexpr qint64 kMostThreads = 20;
/// Lowest request rate a limited scan uses (a stored lower "maxRPM" reads as this), and the
/// highest one a rate may be given.
inline constexpr qint64 kLowestRequestsPerMinute = 10;
inline constexpr qint64 kHighestRequestsPerMinute = 60000;

/// `text` read as the type of `model`: YES/NO for booleans ("YES", "NO", "true", "false", "1",
/// "0" in any case); for integers and reals the number a stored text reads as (`integerValue`,
/// `doubleValue`: "2s" is 2, " 4 " is 4) when it begins with one (`textReadsAsNumber`);
/// comma-separated terms (trimmed, empty ones dropped) for a list, else the text. Nothing when
/// the text does not fit the type ("maybe", "lots").
std::optional<QVariant> valueFromText(const QString& text, const QVariant& model);

} // namespace crawlmere::engine
