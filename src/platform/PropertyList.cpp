// Property lists to and from QVariant trees: the entry points, and the conversion between values and libplist nodes.
#include "platform/PropertyList.h"

#include "platform/AtomicFile.h"
#include "platform/detail/BinaryListWriter.h"
#include "platform/detail/BinaryPropertyList.h"
#include "platform/detail/PlistNode.h"
#include "platform/detail/XmlPropertyList.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

namespace crawlmere::platform {

namespace {

using detail::BinaryListWriter;
using detail::MallocDeleter;
using detail::NodePtr;

// Seconds from the Unix epoch to the property-list reference date 2001-01-01T00:00:00Z.
constexpr qint64 referenceDateOffsetMs = qint64(978307200) * 1000;

QString childPath(const QString& parent, const QString& child)
{
    return parent.isEmpty() ? child : parent + QLatin1Char('/') + child;
    }

    QString oversizedText()
    {
        return QStringLiteral("the property list would be larger than %1 bytes, the most a property list is read with")
            .arg(PropertyList::maximumSize);
    }

    QString describe(const QString& where) { return where.isEmpty() ? QStringLiteral("the root value") : where; }

    // ---------------------------------------------------------------------------------------------
    // QVariant -> binary property list (and from there to libplist, for the XML form)

    // How many values `encode` writes for `value` (containers, dictionary keys and scalars), so
    // that the writer can size its references; the count stops below the depth limit's children.
    quint64 countValues(const QVariant& value, int depth)
    {
        if (depth > PropertyList::maximumDepth)
            return 1;
        quint64 count = 1;
        switch (value.typeId()) {
        case QMetaType::QVariantMap: {
            const QVariantMap map = value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                count += 1 + countValues(it.value(), depth + 1);
            break;
        }
        case QMetaType::QVariantHash: {
            const QVariantHash hash = value.toHash();
            for (auto it = hash.cbegin(); it != hash.cend(); ++it)
                count += 1 + countValues(it.value(), depth + 1);
            break;
        }
        case QMetaType::QVariantList:
            for (const QVariant& item : value.toList())
                count += countValues(item, depth + 1);
            break;
        case QMetaType::QStringList:
            count += quint64(value.toStringList().size());
            break;
        default:
            break;
        }
        return count;
    }

    // Writes a value tree as a binary list, each value once and each dictionary's keys in their
    // (sorted, unique) order: nothing is looked up, so the work grows with the tree only.
    struct Encoder {
        static constexpr quint64 failed = ~quint64(0);

        Encoder(BinaryListWriter& out, std::optional<PropertyListFormat> form)
            : writer(out)
            , format(form)
        {
        }

        BinaryListWriter& writer;
        // The form the list is kept in, whose read limit it must stay within; none for a value
        // only normalised.
        const std::optional<PropertyListFormat> format;
        QString error;
        qint64 payloadBytes = 0;
        // The least the XML form takes: a line per value (its indent, the shortest element and
        // the line end) and the text of its strings and keys.
        qint64 xmlBytes = 0;

        bool accountXml(qint64 bytes)
        {
            xmlBytes += bytes;
            if (format == PropertyListFormat::Xml && xmlBytes > PropertyList::maximumSize) {
                fail(oversizedText());
                return false;
            }
            return true;
        }

        quint64 fail(const QString& message)
        {
            if (error.isEmpty())
                error = message;
            return failed;
        }

        bool account(qint64 bytes, const QString& where)
        {
            payloadBytes += bytes;
            if (payloadBytes > PropertyList::maximumSize) {
                fail(QStringLiteral("the value is larger than %1 bytes (at %2)")
                         .arg(QString::number(PropertyList::maximumSize), describe(where)));
                return false;
            }
            return true;
        }

        quint64 string(const QString& text, const QString& where)
        {
            if (text.contains(QChar(0)))
                return fail(QStringLiteral("a string containing U+0000 has no property-list form (at %1)")
                                .arg(describe(where)));
            const QByteArray utf8 = text.toUtf8();
            if (!account(utf8.size(), where) || !accountXml(utf8.size()))
                return failed;
            // A lone surrogate is written as UTF-8 writes it: U+FFFD.
            return text.isValidUtf16() ? writer.addString(text) : writer.addString(QString::fromUtf8(utf8));
        }

        quint64 date(const QDateTime& dateTime, const QString& where)
        {
            if (!dateTime.isValid())
                return fail(QStringLiteral("an invalid date has no property-list form (at %1)").arg(describe(where)));
            const qint64 ms = dateTime.toMSecsSinceEpoch() - referenceDateOffsetMs;
            const qint64 seconds = ms / 1000; // truncates toward zero; the fraction keeps the sign
            const qint64 micros = (ms % 1000) * 1000;
            if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max())
                return fail(QStringLiteral("the date %1 is outside the property-list range (at %2)")
                                .arg(dateTime.toUTC().toString(Qt::ISODate), describe(where)));
            return writer.addDate(double(seconds) + double(micros) / 1000000);
        }

        quint64 array(const QVariantList& items, int depth, const QString& where)
        {
            std::vector<quint64> children;
            children.reserve(size_t(items.size()));
            for (qsizetype i = 0; i < items.size(); ++i) {
                const quint64 child = encode(items.at(i), depth + 1, childPath(where, QString::number(i)));
                if (child == failed)
                    return failed;
                children.push_back(child);
            }
            return writer.addArray(children);
        }

        template <typename Map> quint64 dictionary(const Map& map, int depth, const QString& where)
        {
            std::vector<quint64> keys;
            std::vector<quint64> values;
            keys.reserve(size_t(map.size()));
            values.reserve(size_t(map.size()));
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                const QString key = it.key();
                const QString path = childPath(where, key);
                if (key.contains(QChar(0)))
                    return fail(QStringLiteral("a dictionary key containing U+0000 has no property-list form (at %1)")
                                    .arg(describe(where)));
                // "<key>" and "</key>" on a line of their own.
                const quint64 keyIndex = string(key, path);
                if (keyIndex == failed || !accountXml(depth + 13))
                    return failed;
                const quint64 child = encode(it.value(), depth + 1, path);
                if (child == failed)
                    return failed;
                keys.push_back(keyIndex);
                values.push_back(child);
            }
            return writer.addDictionary(keys, values);
        }

        quint64 encode(const QVariant& value, int depth, const QString& where)
        {
            if (depth > PropertyList::maximumDepth)
                return fail(QStringLiteral("the value is nested deeper than %1 levels (at %2)")
                                .arg(QString::number(PropertyList::maximumDepth), describe(where)));
            // "<true/>" and its line end.
            if (!accountXml(depth + 8))
                return failed;
            switch (value.typeId()) {
            case QMetaType::QVariantMap:
                return dictionary(value.toMap(), depth, where);
            case QMetaType::QVariantHash: {
                // Sorted like a QVariantMap so that the output does not depend on hashing.
                const QVariantHash hash = value.toHash();
                QVariantMap sorted;
                for (auto it = hash.cbegin(); it != hash.cend(); ++it)
                    sorted.insert(it.key(), it.value());
                return dictionary(sorted, depth, where);
            }
            case QMetaType::QVariantList:
                return array(value.toList(), depth, where);
            case QMetaType::QStringList: {
                QVariantList items;
                for (const QString& text : value.toStringList())
                    items.append(text);
                return array(items, depth, where);
            }
            case QMetaType::QString:
            case QMetaType::QUrl:
                // "<string></string>" is ten characters longer than "<true/>".
                if (!accountXml(10))
                    return failed;
                return string(
                    value.typeId() == QMetaType::QUrl ? value.toUrl().toString(QUrl::FullyEncoded) : value.toString(),
                    where);
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                if (!account(bytes.size(), where))
                    return failed;
                return writer.addData(bytes);
            }
            case QMetaType::Bool:
                return writer.addBool(value.toBool());
            case QMetaType::Int:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::Short:
            case QMetaType::Char:
            case QMetaType::SChar:
                return writer.addSigned(value.toLongLong());
            case QMetaType::UInt:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
            case QMetaType::UShort:
            case QMetaType::UChar:
                return writer.addUnsigned(value.toULongLong());
            case QMetaType::Double:
            case QMetaType::Float: {
                const double real = value.toDouble();
                if (!std::isfinite(real))
                    return fail(
                        QStringLiteral("a non-finite real has no property-list form (at %1)").arg(describe(where)));
                return writer.addReal(real);
            }
            case QMetaType::QDateTime:
                return date(value.toDateTime(), where);
            case QMetaType::QDate:
                return date(value.toDate().startOfDay(QTimeZone::utc()), where);
            default:
                break;
            }
            if (!value.isValid())
                return fail(QStringLiteral("an empty value has no property-list form (at %1)").arg(describe(where)));
            return fail(QStringLiteral("a value of type %1 has no property-list form (at %2)")
                            .arg(QString::fromLatin1(value.metaType().name()), describe(where)));
        }
    };

    // The value as a binary list. A list the binary reader would refuse for its number of values
    // is refused here, when it is to be kept in that form.
    Expected<QByteArray> encodeBinary(const QVariant& value, std::optional<PropertyListFormat> format)
    {
        const quint64 count = countValues(value, 0);
        if (format == PropertyListFormat::Binary && count > quint64(PropertyList::maximumValues))
            return Unexpected(QStringLiteral("the value holds more than %1 values, more than a binary property "
                                             "list is read with")
                                  .arg(PropertyList::maximumValues));
        BinaryListWriter writer(count);
        Encoder encoder(writer, format);
        const quint64 root = encoder.encode(value, 0, QString());
        if (root == Encoder::failed)
            return Unexpected(encoder.error.isEmpty() ? QStringLiteral("cannot encode the value") : encoder.error);
        return writer.finish(root);
    }

    // The libplist tree of a list `encodeBinary` wrote: libplist's binary reader attaches each
    // dictionary's items in their order, where building the tree item by item would look every
    // key up.
    Expected<NodePtr> encode(const QVariant& value, std::optional<PropertyListFormat> format)
    {
        auto binary = encodeBinary(value, format);
        if (!binary)
            return Unexpected(binary.error());
        plist_t node = nullptr;
        plist_from_bin(binary->constData(), uint32_t(binary->size()), &node);
        if (!node)
            return Unexpected(QStringLiteral("cannot encode the value"));
        return NodePtr(node);
    }

    // ---------------------------------------------------------------------------------------------
    // libplist -> QVariant

    // libplist 2.2 keeps whether an integer is signed but has no getter for it; its XML writer
    // shows it, so values with the top bit set are told apart through a one-node XML rendering.
    bool isNegativeInteger(plist_t node)
    {
        NodePtr copy(plist_copy(node));
        if (!copy)
            return false;
        char* xml = nullptr;
        uint32_t length = 0;
        plist_to_xml(copy.get(), &xml, &length);
        if (!xml)
            return false;
        std::unique_ptr<char, MallocDeleter> owner(xml);
        return QByteArray::fromRawData(xml, qsizetype(length)).contains("<integer>-");
    }

    // For a date less than a second from the reference date, the getter cannot say on which side
    // it lies (and libplist's comparison helper uses the same getter). The binary form stores the
    // value as a big-endian double right after the header: read its sign bit there.
    bool isWithinSecondBeforeReference(plist_t node)
    {
        NodePtr copy(plist_copy(node));
        if (!copy)
            return false;
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(copy.get(), &bytes, &length);
        if (!bytes)
            return false;
        std::unique_ptr<char, MallocDeleter> owner(bytes);
        constexpr uint32_t objectOffset = 8; // after "bplist00"
        if (length < objectOffset + 9 || static_cast<unsigned char>(bytes[objectOffset]) != 0x33)
            return false;
        return (static_cast<unsigned char>(bytes[objectOffset + 1]) & 0x80) != 0;
    }

    QDateTime readDate(plist_t node)
    {
        int32_t seconds = 0;
        int32_t micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        // The getter returns the fraction without its sign; the sign is the date's.
        const bool negative = seconds < 0 || (seconds == 0 && micros != 0 && isWithinSecondBeforeReference(node));
        const qint64 magnitudeMicros = std::llabs(qint64(seconds)) * 1000000 + std::llabs(qint64(micros));
        // The stored value is a double, so the fraction may come back a microsecond short: round.
        const qint64 magnitudeMs = (magnitudeMicros + 500) / 1000;
        const qint64 ms = negative ? -magnitudeMs : magnitudeMs;
        return QDateTime::fromMSecsSinceEpoch(ms + referenceDateOffsetMs, Qt::UTC);
    }

    Expected<QVariant> decode(plist_t node, int depth)
    {
        if (depth > PropertyList::maximumDepth)
            return Unexpected(PropertyList::tooDeepText());
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return QVariant(flag != 0);
        }
        case PLIST_UINT:
        case PLIST_UID: {
            uint64_t raw = 0;
            if (plist_get_node_type(node) == PLIST_UID)
                plist_get_uid_val(node, &raw);
            else
                plist_get_uint_val(node, &raw);
            if (raw > uint64_t(std::numeric_limits<qint64>::max()) && !isNegativeInteger(node))
                return QVariant(quint64(raw));
            return QVariant(qint64(raw));
        }
        case PLIST_REAL: {
            double real = 0;
            plist_get_real_val(node, &real);
            return QVariant(real);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return QVariant(text ? QString::fromUtf8(text, qsizetype(length)) : QString(QLatin1String("")));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return QVariant(bytes ? QByteArray(bytes, qsizetype(length)) : QByteArray(""));
        }
        case PLIST_DATE:
            return QVariant(readDate(node));
        case PLIST_ARRAY: {
            // One pass of an iterator: reading an item by its index walks the array from its
            // start, which makes a long array take time that grows with its length squared.
            QVariantList items;
            const uint32_t count = plist_array_get_size(node);
            items.reserve(count);
            plist_array_iter iterator = nullptr;
            plist_array_new_iter(node, &iterator);
            std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
            for (uint32_t i = 0; i < count; ++i) {
                plist_t child = nullptr;
                plist_array_next_item(node, iterator, &child);
                if (!child)
                    return Unexpected(QStringLiteral("the property list has a missing array element"));
                auto item = decode(child, depth + 1);
                if (!item)
                    return item;
                items.append(std::move(item).value());
            }
            return QVariant(items);
        }
        case PLIST_DICT: {
            QVariantMap map;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
            for (;;) {
                char* rawKey = nullptr;
                plist_t child = nullptr;
                plist_dict_next_item(node, iterator, &rawKey, &child);
                std::unique_ptr<char, MallocDeleter> keyOwner(rawKey);
                if (!child)
                    break;
                auto item = decode(child, depth + 1);
                if (!item)
                    return item;
                map.insert(rawKey ? QString::fromUtf8(rawKey) : QString(), std::move(item).value());
            }
            return QVariant(map);
        }
        case PLIST_NONE:
            break;
        }
        return Unexpected(QStringLiteral("the property list holds a value of an unknown type"));
    }

} // namespace

bool PropertyList::isBinary(const QByteArray& bytes) { return detail::hasBinaryMagic(bytes); }

QString PropertyList::tooDeepText()
{
    return QStringLiteral("the property list is nested deeper than %1 levels").arg(maximumDepth);
}

Expected<QVariant> PropertyList::read(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return Unexpected(QStringLiteral("the property list is empty"));
    if (bytes.size() > maximumSize)
        return Unexpected(QStringLiteral("the property list is larger than %1 bytes").arg(maximumSize));
    if (!isBinary(bytes))
        return detail::readXmlPropertyList(bytes, [](plist_t value) { return decode(value, 0); });
    auto root = detail::readBinaryPropertyList(bytes);
    if (!root)
        return Unexpected(root.error());
    return decode(root->get(), 0);
}

Expected<QVariant> PropertyList::readFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return Unexpected(QStringLiteral("%1: no such file").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return Unexpected(QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (file.size() > maximumSize)
        return Unexpected(QStringLiteral("%1: larger than %2 bytes").arg(path, QString::number(maximumSize)));
    // Read one byte past the cap so that a file growing while it is read is still refused.
    const QByteArray bytes = readAtMost(file, maximumSize);
    if (file.error() != QFileDevice::NoError)
        return Unexpected(QStringLiteral("%1: %2").arg(path, file.errorString()));
    auto result = read(bytes);
    if (!result)
        return Unexpected(QStringLiteral("%1: %2").arg(path, result.error()));
    return result;
}

Expected<QByteArray> PropertyList::serialize(const QVariant& value, PropertyListFormat format)
{
    // What this program writes it must be able to read back: never more than it reads.
    if (format == PropertyListFormat::Binary) {
        auto binary = encodeBinary(value, format);
        if (binary && binary->size() > maximumSize)
            return Unexpected(oversizedText());
        return binary;
    }
    auto node = encode(value, PropertyListFormat::Xml);
    if (!node)
        return Unexpected(node.error());
    char* output = nullptr;
    uint32_t length = 0;
    plist_to_xml(node->get(), &output, &length);
    if (!output)
        return Unexpected(QStringLiteral("the property list could not be written"));
    std::unique_ptr<char, MallocDeleter> owner(output);
    if (qint64(length) > maximumSize)
        return Unexpected(oversizedText());
    return QByteArray(output, qsizetype(length));
}

Expected<QByteArray> PropertyList::toXml(const QVariant& value) { return serialize(value, PropertyListFormat::Xml); }

Expected<QByteArray> PropertyList::toBinary(const QVariant& value)
{
    return serialize(value, PropertyListFormat::Binary);
}

Expected<void> PropertyList::writeFile(const QString& path, const QVariant& value, PropertyListFormat format)
{
    auto bytes = serialize(value, format);
    if (!bytes)
        return Unexpected(bytes.error());
    if (QString reason; !saveBytesAtomically(path, *bytes, &reason))
        return Unexpected(QStringLiteral("%1: %2").arg(path, reason));
    return {};
}

Expected<QVariant> PropertyList::normalized(const QVariant& value)
{
    // Not yet kept in any form: the limits of a form are for the writing.
    auto node = encode(value, std::nullopt);
    if (!node)
        return Unexpected(node.error());
    return decode(node->get(), 0);
}

} // namespace crawlmere::platform
