// The one reading of a stored property-list value as a switch, a whole number, a real or a
// text. The crawl settings, the application defaults, the parsers, the settings pane and the
// diagnosis window all read through these, so a value means the same thing everywhere.
#pragma once

#include <QString>
#include <QVariant>

namespace crawlmere::platform {

/// Whether a value holds a whole number of any width, signed or not (char to 64 bits). Booleans
/// and texts do not.
bool isWholeNumber(const QVariant& value);
/// Whether a value holds a floating point number (double or float).
bool isReal(const QVariant& value);

/// A stored value read as a switch.
/// - booleans as they are; integers and reals: not zero (NaN is NO);
/// - text: after leading ASCII white space, an optional sign and leading zeros, YES when the
///   next character is one of "Y", "y", "T", "t" or a digit 1-9 ("YES", "true", "1", "-2",
///   "007", "Yellow" are YES; "NO", "false", "0", "", "0.5", "x" are NO); the rest of the text
///   is not looked at;
/// - anything else (absent, lists, dictionaries, dates, data): NO.
bool boolValue(const QVariant& value);

/// A stored value read as a 64-bit integer.
/// - booleans 1/0; integers as they are (an unsigned value above INT64_MAX saturates); reals
///   truncated towards zero, saturating (NaN reads as 0);
/// - text: leading ASCII white space, an optional sign and the decimal digits that follow;
///   saturates at the 64-bit limits; no digits read as 0 ("12abc" is 12, "3.9" is 3, "abc" is 0);
/// - anything else: 0.
qint64 integerValue(const QVariant& value);

/// A stored value read as a double.
/// - booleans 1/0; numbers as they are;
/// - text: the longest leading decimal number after ASCII white space ("2.5s" is 2.5, "1e3" is
///   1000, ".5" is 0.5), independent of the locale; none reads as 0;
/// - anything else: 0.
double doubleValue(const QVariant& value);

/// Whether a text reads as a number by `integerValue` and `doubleValue` rather than as 0 for
/// want of one: after leading ASCII white space and an optional sign, a digit, or "." and a
/// digit ("2s", " 4 ", "-1", ".5" do; "lots", "", "inf", "nan", "." do not).
bool textReadsAsNumber(QStringView text);

/// A stored value read as text: text as it is; integers in decimal; reals in their shortest
/// round-trip form ("0.5", "1e+20"); booleans as "1"/"0"; anything else a null string.
QString stringValue(const QVariant& value);

} // namespace crawlmere::platform
