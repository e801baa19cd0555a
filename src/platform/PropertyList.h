// Property lists (XML and binary) read into and written from QVariant trees, backed by libplist.
#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace crawlmere::platform {

/// The two encodings of a property list.
enum class PropertyListFormat { Xml, Binary };

/// Converts between property lists and QVariant values.
///
/// Property-list types map to QVariant types as follows; reading always produces exactly these:
/// - dictionary: QVariantMap (keys are strings)
/// - array: QVariantList
/// - string: QString
/// - integer: qint64, or quint64 for values above INT64_MAX (the format keeps that distinction)
/// - real: double
/// - boolean: bool
/// - date: QDateTime in UTC, millisecond precision. The reference date is 2001-01-01T00:00:00Z;
///   dates must lie within ±2^31 seconds of it (1933-12-13 … 2069-01-19). Binary lists keep
///   milliseconds, XML lists keep whole seconds (the fraction is dropped on writing).
/// - data: QByteArray
/// A UID (only found in archived object graphs) reads as an integer.
///
/// When writing, these QVariant types are accepted as well: QStringList (array), QVariantHash
/// (dictionary), int/uint/long/short/char types (integer), float (real), QDate (date at
/// 00:00 UTC), QUrl (string). Any other type, an invalid QVariant anywhere in the tree, a string
/// or dictionary key containing U+0000, a non-finite real, or an out-of-range date makes the
/// whole conversion fail with an error naming where in the tree the value sits (for example
/// "Columns/3"). Nothing is skipped silently.
///
/// Limits: inputs over `maximumSize` bytes and trees nested deeper than `maximumDepth`
/// containers are refused with an error, both when reading and when writing. A binary list is
/// also refused unread when the tree it stands for (each reference to a shared object read as a
/// copy) holds more than `maximumValues` values (containers, dictionary keys and scalars) or
/// more than `maximumSize` bytes of text and data.
/// Every call is reentrant and may run on any thread.
class PropertyList {
public:
    static constexpr qint64 maximumSize = qint64(256) * 1024 * 1024;
    static constexpr int maximumDepth = 512;
    static constexpr qint64 maximumValues = qint64(8) * 1024 * 1024;
    /// The error of a list nested deeper than `maximumDepth`, whichever reader found it.
    static QString tooDeepText();

    /// Parses an XML or binary property list (binary when the bytes start with "bplist00").
    /// Empty, truncated or corrupt input gives an error, never a crash.
    static Expected<QVariant> read(const QByteArray& bytes);
    /// Reads and parses a file; a missing, unreadable or oversized file gives an error.
    static Expected<QVariant> readFile(const QString& path);

    /// The value as an XML property list (UTF-8).
    static Expected<QByteArray> toXml(const QVariant& value);
    /// The value as a binary ("bplist00") property list.
    static Expected<QByteArray> toBinary(const QVariant& value);
    static Expected<QByteArray> serialize(const QVariant& value, PropertyListFormat format);

    /// Writes the value to `path` as `saveBytesAtomically` does: on any failure the previous
    /// file is left as it was and the error says why. The folder must exist.
    static Expected<void> writeFile(const QString& path, const QVariant& value, PropertyListFormat format);
    static Expected<void> writeXmlFile(const QString& path, const QVariant& value)
    {
        return writeFile(path, value, PropertyListFormat::Xml);
    }

    /// The value as reading it back from a binary property list would give it: QStringList
    /// becomes QVariantList, int becomes qint64, and so on. Fails for values with no
    /// property-list form, with the same errors as `toXml`.
    static Expected<QVariant> normalized(const QVariant& value);

    /// True when the bytes start with the binary magic "bplist00".
    static bool isBinary(const QByteArray& bytes);
};

} // namespace crawlmere::platform
