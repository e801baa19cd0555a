// Typed reads of property-list values with the coercions the crawl relies on: a number or a
// "YES"/"NO" text read as a boolean, a text read as a number, and absent values read as NO or 0.
#pragma once

#include "engine/CrawlSettings.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace crawlmere::engine::detail {

/// A stored value read as a boolean.
/// - booleans as they are; integers and reals: not zero;
/// - text: after leading white space, an optional sign and leading zeros, YES when the next
///   character is one of "Y", "y", "T", "t" or a digit 1-9 ("YES", "true", "1", "-2", "007" are
///   YES; "NO", "0", "", "0.5", "x" are NO); the rest of the text is not looked at;
/// - anything else (absent, lists, dictionaries, dates, data): NO.
bool boolValue(const QVariant& value);

/// A stored value read as a 64-bit integer.
/// - booleans 1/0; integers as they are; reals truncated towards zero and held within range
///   (NaN reads as 0);
/// - text: leading white space, an optional sign and the decimal digits that follow; saturates
///   at the 64-bit limits; no digits read as 0 ("12abc" is 12, "abc" is 0, " -3" is -3);
/// - anything else: 0.
qint64 integerValue(const QVariant& value);

/// A stored value read as a double.
/// - booleans 1/0; numbers as they are;
/// - text: the longest leading decimal number after white space ("2.5s" is 2.5, "1e3" is 1000),
///   independent of the locale; none reads as 0;
/// - anything else: 0.
double doubleValue(const QVariant& value);

/// A stored value read as text: text as it is, numbers in their plain decimal form, booleans
/// as "1"/"0"; absent values and other types give a null string.
QString stringValue(const QVariant& value);

/// The same reads from a scan's shared settings. A null dictionary or an absent key reads
/// as NO, 0, 0.0 or a null string. They never insert into the dictionary.
bool settingBool(const std::shared_ptr<CrawlSettings>& settings, const QString& key);
qint64 settingInteger(const std::shared_ptr<CrawlSettings>& settings, const QString& key);
double settingDouble(const std::shared_ptr<CrawlSettings>& settings, const QString& key);
QString settingString(const std::shared_ptr<CrawlSettings>& settings, const QString& key);

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

/// Fewest and most fetches a scan keeps in flight, as the thread controls offer them.
inline constexpr qint64 kFewestThreads = 1;
inline constexpr qint64 kMostThreads = 20;
/// Lowest request rate a limited scan uses (a stored lower "maxRPM" reads as this), and the
/// highest one a rate may be given.
inline constexpr qint64 kLowestRequestsPerMinute = 10;
inline constexpr qint64 kHighestRequestsPerMinute = 60000;

/// `text` read as the type of `model`: YES/NO for booleans ("YES", "NO", "true", "false", "1",
/// "0" in any case), a whole number for integers, a number for reals, comma-separated terms
/// (trimmed, empty ones dropped) for a list, else the text. Nothing when the text does not
/// fit the type.
std::optional<QVariant> valueFromText(const QString& text, const QVariant& model);

} // namespace crawlmere::engine::detail
