// Typed reads of property-list values with the crawl's coercions.
#include "engine/detail/SettingsValue.h"

#include "engine/CrawlSettingTable.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace crawlmere::engine::detail {

namespace {

bool isAsciiSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool isNumeric(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isReal(const QVariant& value)
{
    const int id = value.metaType().id();
    return id == QMetaType::Double || id == QMetaType::Float;
}

qint64 saturatingTruncate(double d)
{
    if (std::isnan(d))
        return 0;
    constexpr double maxValue = 9223372036854775807.0;
    if (d >= maxValue)
        return std::numeric_limits<qint64>::max();
    if (d <= -maxValue)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

bool textBool(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isAsciiSpace(text[i]))
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    while (i < n && text[i] == u'0')
        ++i;
    if (i >= n)
        return false;
    const char16_t c = text[i].unicode();
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

qint64 textInteger(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isAsciiSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate as a negative number so that the minimum is reachable without overflow.
    qint64 result = 0;
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            break;
        const int digit = c - u'0';
        if (result < (minValue + digit) / 10) {
            return negative ? minValue : std::numeric_limits<qint64>::max();
        }
        result = result * 10 - digit;
    }
    if (negative)
        return result;
    return result == minValue ? std::numeric_limits<qint64>::max() : -result;
}

double textDouble(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isAsciiSpace(text[i]))
        ++i;
    // Collect the longest prefix made of characters a decimal number can hold, then let
    // strtod (in the C locale, which Qt applications keep for LC_NUMERIC) read what it can.
    QByteArray ascii;
    for (qsizetype j = i; j < n && ascii.size() < 400; ++j) {
        const char16_t c = text[j].unicode();
        const bool allowed = (c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E';
        if (!allowed)
            break;
        ascii.append(static_cast<char>(c));
    }
    if (ascii.isEmpty())
        return 0.0;
    bool ok = false;
    // QByteArray::toDouble wants the whole text; shorten from the end until it parses, which
    // gives the longest leading number ("2.5e" reads 2.5, "1-2" reads 1).
    while (!ascii.isEmpty()) {
        const double d = ascii.toDouble(&ok);
        if (ok)
            return d;
        ascii.chop(1);
    }
    return 0.0;
}

} // namespace

bool boolValue(const QVariant& value)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool)
        return value.toBool();
    if (isReal(value))
        return value.toDouble() != 0.0;
    if (isNumeric(value))
        return value.toLongLong() != 0 || value.toULongLong() != 0;
    if (id == QMetaType::QString)
        return textBool(value.toString());
    return false;
}

qint64 integerValue(const QVariant& value)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    if (isReal(value))
        return saturatingTruncate(value.toDouble());
    if (id == QMetaType::ULongLong || id == QMetaType::ULong) {
        const qulonglong u = value.toULongLong();
        return u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                               : static_cast<qint64>(u);
    }
    if (isNumeric(value))
        return value.toLongLong();
    if (id == QMetaType::QString)
        return textInteger(value.toString());
    return 0;
}

double doubleValue(const QVariant& value)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool)
        return value.toBool() ? 1.0 : 0.0;
    if (isNumeric(value))
        return value.toDouble();
    if (id == QMetaType::QString)
        return textDouble(value.toString());
    return 0.0;
}

QString stringValue(const QVariant& value)
{
    const int id = value.metaType().id();
    if (id == QMetaType::QString)
        return value.toString();
    if (id == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    // Qt writes reals in their shortest exact form ("0.1", "30").
    if (isNumeric(value))
        return value.toString();
    return QString();
}

namespace {

QVariant settingValue(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return settings ? settings->value(key) : QVariant();
}

} // namespace

bool settingBool(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return boolValue(settingValue(settings, key));
}

qint64 settingInteger(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return integerValue(settingValue(settings, key));
}

double settingDouble(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return doubleValue(settingValue(settings, key));
}

QString settingString(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return stringValue(settingValue(settings, key));
}

double settingTimeoutSeconds(const std::shared_ptr<CrawlSettings>& settings)
{
    return settingDoubleInRange(settings, QStringLiteral("timeout"));
}

std::optional<QVariant> valueFromText(const QString& text, const QVariant& model)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    switch (model.typeId()) {
    case QMetaType::Bool: {
        const QString lower = trimmed.toLower();
        if (lower == u"yes" || lower == u"true" || lower == u"1")
            return QVariant(true);
        if (lower == u"no" || lower == u"false" || lower == u"0")
            return QVariant(false);
        return std::nullopt;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const qint64 value = trimmed.toLongLong(&ok);
        return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double value = trimmed.toDouble(&ok);
        return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
    }
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

} // namespace crawlmere::engine::detail
