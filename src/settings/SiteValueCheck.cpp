// Type checks of the values a settings file brings, and its reading with a size cap.
#include "settings/SiteValueCheck.h"

#include "engine/CrwlUrl.h"
#include "engine/SettingsValue.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "platform/RegularFile.h"
#include "settings/detail/SiteListKeys.h"

#include <QHash>

namespace crawlmere::settings {

using platform::logLine;
using platform::Unexpected;

namespace {

enum class ValueKind { Text, List, Date, Scalar, Switch, Number };

struct KeyKind {
    ValueKind kind = ValueKind::Scalar;
    QVariant model; ///< a value of the type a switch or number takes
};

const QHash<QString, KeyKind>& kindsOfKeys()
{
    static const QHash<QString, KeyKind> kinds = [] {
        QHash<QString, KeyKind> map;
        const QVariantMap models = CrwlUrl::crawlSettingModels();
        for (auto it = models.cbegin(); it != models.cend(); ++it) {
            switch (it.value().typeId()) {
            case QMetaType::Bool:
                map.insert(it.key(), { ValueKind::Switch, it.value() });
                break;
            case QMetaType::LongLong:
            case QMetaType::Double:
                map.insert(it.key(), { ValueKind::Number, it.value() });
                break;
            case QMetaType::QVariantList:
                map.insert(it.key(), { ValueKind::List, QVariant() });
                break;
            default:
                map.insert(it.key(), { ValueKind::Scalar, QVariant() });
                break;
            }
        }
        for (const QString& key :
            { detail::kId, detail::kName, QString(crawlKey::startingUrl), detail::kFolder, QStringLiteral("status") })
            map.insert(key, { ValueKind::Text, QVariant() });
        map.insert(QStringLiteral("sitemapRules"), { ValueKind::List, QVariant() });
        // The older comma-separated forms of the rule lists.
        for (const char* key : { "ignorelist", "checkBlacklist", "followBlacklist", "followWhitelist" })
            map.insert(QString::fromLatin1(key), { ValueKind::Text, QVariant() });
        map.insert(QStringLiteral("dateStamp"), { ValueKind::Date, QVariant() });
        return map;
    }();
    return kinds;
}

bool fits(const KeyKind& kind, const QVariant& value)
{
    const int type = value.typeId();
    const bool scalar = type == QMetaType::QString || type == QMetaType::Bool || type == QMetaType::LongLong
        || type == QMetaType::ULongLong || type == QMetaType::Double;
    switch (kind.kind) {
    case ValueKind::Text:
        return type == QMetaType::QString;
    case ValueKind::List:
        return type == QMetaType::QVariantList;
    case ValueKind::Date:
        return type == QMetaType::QDateTime;
    case ValueKind::Scalar:
        return scalar;
    case ValueKind::Switch:
        // Every text reads as a switch by the one rule of stored switches (`boolValue`: "Y",
        // "yes", "1" are YES), as the scan and the settings pane read it.
        return scalar;
    case ValueKind::Number:
        // Numbers are read from switches too; a text must read as a number.
        if (type == QMetaType::QString)
            return engine::valueFromText(value.toString(), kind.model).has_value();
        return scalar;
    }
    return false;
}

QString typeName(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return QStringLiteral("a text");
    case QMetaType::QVariantList:
        return QStringLiteral("a list");
    case QMetaType::QVariantMap:
        return QStringLiteral("a dictionary");
    case QMetaType::QDateTime:
        return QStringLiteral("a date");
    case QMetaType::QByteArray:
        return QStringLiteral("data");
    case QMetaType::Bool:
        return QStringLiteral("a boolean");
    default:
        return QStringLiteral("a number");
    }
}

} // namespace

QVariantMap SiteValueCheck::typedSite(const QVariantMap& site, const QString& source)
{
    QVariantMap typed = site;
    const QHash<QString, KeyKind>& kinds = kindsOfKeys();
    for (auto it = site.cbegin(); it != site.cend(); ++it) {
        const auto kind = kinds.constFind(it.key());
        if (kind == kinds.cend() || fits(*kind, it.value()))
            continue;
        if (!source.isNull())
            logLine(0,
                QStringLiteral("%1: the value of \"%2\" is %3 of the wrong type; it is left out")
                    .arg(source, it.key(), typeName(it.value())));
        typed.remove(it.key());
    }
    return typed;
}

const QStringList& SiteValueCheck::localPathKeys()
{
    static const QStringList keys { crawlKey::archiveSaveLocation };
    return keys;
}

QVariantMap SiteValueCheck::withoutLocalPaths(const QVariantMap& site, const QString& source)
{
    QVariantMap kept = site;
    for (const QString& key : localPathKeys()) {
        // An empty value names no place: a new site holds one, and it is kept as it is.
        if (kept.value(key).toString().isEmpty())
            continue;
        if (kept.remove(key) > 0 && !source.isNull())
            logLine(0,
                QStringLiteral("%1: \"%2\" is left out: where the program writes is chosen on this "
                               "computer, never by a settings file")
                    .arg(source, key));
    }
    return kept;
}

bool SiteValueCheck::hasUsableStartingUrl(const QVariantMap& site)
{
    const QVariant value = site.value(crawlKey::startingUrl);
    return value.typeId() == QMetaType::QString && !value.toString().trimmed().isEmpty();
}

platform::Expected<QVariant> SiteValueCheck::readSettingsFile(const QString& path, QMetaType::Type rootType)
{
    // Never opened when it is a FIFO or a device: those would block the read or never end it.
    const auto bytes = platform::RegularFile::read(path, kMaxSettingsFileBytes);
    if (!bytes.ok()) {
        switch (bytes.error().problem) {
        case platform::RegularFile::Problem::TooLarge:
            return Unexpected(
                QStringLiteral("it is larger than %1 MB; it is not read").arg(kMaxSettingsFileBytes / (1024 * 1024)));
        case platform::RegularFile::Problem::Missing:
        case platform::RegularFile::Problem::Folder:
        case platform::RegularFile::Problem::NotRegular:
        case platform::RegularFile::Problem::NoPermission:
        case platform::RegularFile::Problem::ReadFailed:
            break;
        }
        return Unexpected(bytes.error().reason);
    }
    auto read = platform::PropertyList::read(bytes.value());
    if (!read.ok())
        return Unexpected(read.error());
    if (read.value().typeId() != int(rootType)) {
        const QVariant wanted = rootType == QMetaType::QVariantMap ? QVariant(QVariantMap()) : QVariant(QVariantList());
        return Unexpected(QStringLiteral("its root is %1, not %2").arg(typeName(read.value()), typeName(wanted)));
    }
    return read;
}

} // namespace crawlmere::settings
