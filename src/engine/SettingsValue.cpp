// Typed reads of property-list values with the crawl's coercions.
#include "engine/SettingsValue.h"

#include "engine/CrawlSettingTable.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace crawlmere::engine {

namespace {

QVariant settingValue(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return settings ? settings->value(key) : QVariant();
}

} // namespace

bool settingBool(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key)
{
    return boolValue(settingValue(settings, key));
}

qint64 settingInteger(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key)
{
    return integerValue(settingValue(settings, key));
}

double settingDouble(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key)
{
    return doubleValue(settingValue(settings, key));
}

QString settingString(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key)
{
    return stringValue(settingValue(settings, key));
}

double settingTimeoutSeconds(const std::shared_ptr<CrawlSettings>& settings)
{
    return settingDoubleInRange(settings, crawlKey::timeout);
}

QString settingAcceptLanguage(const std::shared_ptr<CrawlSettings>& settings)
{
    const QString language = settingString(settings, crawlKey::customHeaderAcceptLanguage);
    return language.isEmpty() ? QStringLiteral("*") : language;
}

std::optional<QVariant> valueFromText(const QString& text, const QVariant& model)
{
    const QString trimmed = text.trimmed();
    switch (model.typeId()) {
    case QMetaType::Bool: {
        const QString lower = trimmed.toLower();
        if (lower == u"yes" || lower == u"true" || lower == u"1")
            return QVariant(true);
        if (lower == u"no" || lower == u"false" || lower == u"0")
            return QVariant(false);
        return std::nullopt;
    }
    // A number is read as a stored one is, so a value means the same typed, imported or kept
    // ("2s" is 2 everywhere); a text without a leading number is refused.
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (!crawlmere::platform::textReadsAsNumber(text))
            return std::nullopt;
        return QVariant(integerValue(text));
    case QMetaType::Double:
    case QMetaType::Float:
        if (!crawlmere::platform::textReadsAsNumber(text))
            return std::nullopt;
        return QVariant(doubleValue(text));
    case QMetaType::QVariantList: {
        QVariantList terms;
        for (const QString& term : text.split(u',')) {
            if (!term.trimmed().isEmpty())
                terms.append(term.trimmed());
        }
        return QVariant(terms);
    }
    default:
        return QVariant(text);
    }
}

} // namespace crawlmere::engine
