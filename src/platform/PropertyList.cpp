// Property lists to and from QVariant trees: the entry points, and the conversion between values and libplist nodes.
#include "platform/PropertyList.h"

#include "platform/AtomicFile.h"
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

namespace crawlmere::platform {

namespace {

    using detail::MallocDeleter;
    using detail::NodePtr;

    // Seconds from the Unix epoch to the property-list reference date 2001-01-01T00:00:00Z.
    constexpr qint64 referenceDateOffsetMs = qint64(978307200) * 1000;

    QString childPath(const QString& parent, const QString& child)
    {
        return parent.isEmpty() ? child : parent + QLatin1Char('/') + child;
    }

    QString describe(const QString& where) { return where.isEmpty() ? QStringLiteral("the root value") : where; }

    // ---------------------------------------------------------------------------------------------
    // QVariant -> libplist

    struct Encoder {
        QString error;
        qint64 payloadBytes = 0;

        plist_t fail(const QString& message)
        {
            if (error.isEmpty())
                error = message;
            return nullptr;
        }

        bool account(qint64 bytes, const QString& where)
        {
            payloadBytes += bytes;
            if (payloadBytes > PropertyList::maximumSize) {
                fail(QStringLiteral("the value is larger than %1 bytes (at %2)")
                         .arg(PropertyList::maximumSize)
                         .arg(describe(where)));
                return false;
            }
            return true;
        }

        plist_t string(const QString& text, const QString& where)
        {
            if (text.contains(QChar(0)))
                return fail(QStringLiteral("a string containing U+0000 has no property-list form (at %1)")
                                .arg(describe(where)));
            const QByteArray utf8 = text.toUtf8();
            if (!account(utf8.size(), where))
                return nullptr;
            return plist_new_string(utf8.constData());
        }

        plist_t unsignedInteger(quint64 value)
        {
            if (value <= quint64(std::numeric_limits<qint64>::max()))
                return plist_new_uint(value);
            // libplist's constructor marks every integer as signed, which would write this value as a
            // negative number. Its XML reader marks large positive literals as unsigned, so build the
            // node through it.
            const QByteArray xml = QByteArrayLiteral("<plist version=\"1.0\"><integer>") + QByteArray::number(value)
                + QByteArrayLiteral("</integer></plist>");
            plist_t node = nullptr;
            plist_from_xml(xml.constData(), uint32_t(xml.size()), &node);
            if (!node)
                return fail(QStringLiteral("cannot encode the integer %1").arg(value));
            return node;
        }

        plist_t date(const QDateTime& dateTime, const QString& where)
        {
            if (!dateTime.isValid())
                return fail(QStringLiteral("an invalid date has no property-list form (at %1)").arg(describe(where)));
            const qint64 ms = dateTime.toMSecsSinceEpoch() - referenceDateOffsetMs;
            const qint64 seconds = ms / 1000; // truncates toward zero; the fraction keeps the sign
            const qint64 micros = (ms % 1000) * 1000;
            if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max())
                return fail(QStringLiteral("the date %1 is outside the property-list range (at %2)")
                                .arg(dateTime.toUTC().toString(Qt::ISODate), describe(where)));
            return plist_new_date(int32_t(seconds), int32_t(micros));
        }

        plist_t array(const QVariantList& items, int depth, const QString& where)
        {
            NodePtr node(plist_new_array());
            for (qsizetype i = 0; i < items.size(); ++i) {
                plist_t child = encode(items.at(i), depth + 1, childPath(where, QString::number(i)));
                if (!child)
                    return nullptr;
                plist_array_append_item(node.get(), child);
            }
            return node.release();
        }

        template <typename Map> plist_t dictionary(const Map& map, int depth, const QString& where)
        {
            NodePtr node(plist_new_dict());
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                const QString key = it.key();
                const QString path = childPath(where, key);
                if (key.contains(QChar(0)))
                    return fail(QStringLiteral("a dictionary key containing U+0000 has no property-list form (at %1)")
                                    .arg(describe(where)));
                const QByteArray utf8Key = key.toUtf8();
                if (!account(utf8Key.size(), path))
                    return nullptr;
                plist_t child = encode(it.value(), depth + 1, path);
                if (!child)
                    return nullptr;
                plist_dict_set_item(node.get(), utf8Key.constData(), child);
            }
            return node.release();
        }

        plist_t encode(const QVariant& value, int depth, const QString& where)
        {
            if (depth > PropertyList::maximumDepth)
                return fail(QStringLiteral("the value is nested deeper than %1 levels (at %2)")
                                .arg(PropertyList::maximumDepth)
                                .arg(describe(where)));
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
                return string(value.toString(), where);
            case QMetaType::QUrl:
                return string(value.toUrl().toString(QUrl::FullyEncoded), where);
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                if (!account(bytes.size(), where))
                    return nullptr;
                return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
            }
            case QMetaType::Bool:
                return plist_new_bool(value.toBool() ? 1 : 0);
            case QMetaType::Int:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::Short:
            case QMetaType::Char:
            case QMetaType::SChar:
                return plist_new_uint(uint64_t(value.toLongLong()));
            case QMetaType::UInt:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
            case QMetaType::UShort:
            case QMetaType::UChar:
                return unsignedInteger(value.toULongLong());
            case QMetaType::Double:
            case QMetaType::Float: {
                const double real = value.toDouble();
                if (!std::isfinite(real))
                    return fail(
                        QStringLiteral("a non-finite real has no property-list form (at %1)").arg(describe(where)));
                return plist_new_real(real);
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

    Expected<NodePtr> encode(const QVariant& value)
    {
        Encoder encoder;
        NodePtr node(encoder.encode(value, 0, QString()));
        if (!node)
            return Unexpected(encoder.error.isEmpty() ? QStringLiteral("cannot encode the value") : encoder.error);
        return node;
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
            return Unexpected(
                QStringLiteral("the property list is nested deeper than %1 levels").arg(PropertyList::maximumDepth));
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

Expected<QVariant> PropertyList::read(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return Unexpected(QStringLiteral("the property list is empty"));
    if (bytes.size() > maximumSize)
        return Unexpected(QStringLiteral("the property list is larger than %1 bytes").arg(maximumSize));
    auto root = isBinary(bytes) ? detail::readBinaryPropertyList(bytes) : detail::readXmlPropertyList(bytes);
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
        return Unexpected(QStringLiteral("%1: larger than %2 bytes").arg(path).arg(maximumSize));
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
    auto node = encode(value);
    if (!node)
        return Unexpected(node.error());
    char* output = nullptr;
    uint32_t length = 0;
    switch (format) {
    case PropertyListFormat::Xml:
        plist_to_xml(node->get(), &output, &length);
        break;
    case PropertyListFormat::Binary:
        plist_to_bin(node->get(), &output, &length);
        break;
    }
    if (!output)
        return Unexpected(QStringLiteral("the property list could not be written"));
    std::unique_ptr<char, MallocDeleter> owner(output);
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
    auto node = encode(value);
    if (!node)
        return Unexpected(node.error());
    return decode(node->get(), 0);
}

} // namespace crawlmere::platform
