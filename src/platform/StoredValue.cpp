// The readings of a stored value as a switch, a number or a text.
#include "platform/StoredValue.h"

#include <QByteArray>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace crawlmere::platform {

namespace {

bool isAsciiSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

qsizetype skipSpace(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isAsciiSpace(text[i]))
        ++i;
    return i;
}

/// Where a number's digits would start: after leading white space and one sign.
qsizetype skipSpaceAndSign(QStringView text)
{
    qsizetype i = skipSpace(text);
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    return i;
}

bool isUnsigned(const QVariant& value)
{
    const int id = value.metaType().id();
    return id == QMetaType::ULongLong || id == QMetaType::ULong || id == QMetaType::UInt;
}

qint64 saturatingTruncate(double d)
{
    if (std::isnan(d))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (d >= 9223372036854775808.0)
        return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

bool textBool(QStringView text)
{
    qsizetype i = skipSpaceAndSign(text);
    const qsizetype n = text.size();
    while (i < n && text[i] == u'0')
        ++i;
    if (i >= n)
        return false;
    const char16_t c = text[i].unicode();
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

qint64 textInteger(QStringView text)
{
    qsizetype i = skipSpace(text);
    const qsizetype n = text.size();
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
        if (result < (minValue + digit) / 10)
            return negative ? minValue : std::numeric_limits<qint64>::max();
        result = result * 10 - digit;
    }
    if (negative)
        return result;
    return result == minValue ? std::numeric_limits<qint64>::max() : -result;
}

double textDouble(QStringView text)
{
    const qsizetype n = text.size();
    // Collect the longest prefix made of characters a decimal number can hold, then read the
    // longest part of it that parses (QByteArray::toDouble ignores the locale).
    QByteArray ascii;
    for (qsizetype j = skipSpace(text); j < n && ascii.size() < 400; ++j) {
        const char16_t c = text[j].unicode();
        const bool allowed = (c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E';
        if (!allowed)
            break;
        ascii.append(static_cast<char>(c));
    }
    // QByteArray::toDouble wants the whole text; shorten from the end until it parses, which
    // gives the longest leading number ("2.5e" reads 2.5, "1-2" reads 1).
    while (!ascii.isEmpty()) {
        bool ok = false;
        const double d = ascii.toDouble(&ok);
        if (ok)
            return d;
        ascii.chop(1);
    }
    return 0.0;
}

} // namespace

bool textReadsAsNumber(QStringView text)
{
    qsizetype i = skipSpaceAndSign(text);
    const qsizetype n = text.size();
    if (i < n && text[i] == u'.')
        ++i;
    return i < n && text[i] >= u'0' && text[i] <= u'9';
}

bool isReal(const QVariant& value)
{
    const int id = value.metaType().id();
    return id == QMetaType::Double || id == QMetaType::Float;
}

bool isWholeNumber(const QVariant& value)
{
    static constexpr std::array kWholeNumberTypes { QMetaType::Int, QMetaType::UInt, QMetaType::LongLong,
        QMetaType::ULongLong, QMetaType::Long, QMetaType::ULong, QMetaType::Short, QMetaType::UShort, QMetaType::Char,
        QMetaType::SChar, QMetaType::UChar };
    const int id = value.metaType().id();
    return std::any_of(kWholeNumberTypes.begin(), kWholeNumberTypes.end(), [id](QMetaType::Type t) { return t == id; });
}

bool boolValue(const QVariant& value)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool)
        return value.toBool();
    if (isReal(value)) {
        const double real = value.toDouble();
        return real != 0.0 && !std::isnan(real);
    }
    if (isWholeNumber(value))
        return isUnsigned(value) ? value.toULongLong() != 0 : value.toLongLong() != 0;
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
    if (isUnsigned(value)) {
        const qulonglong u = value.toULongLong();
        constexpr auto maximum = std::numeric_limits<qint64>::max();
        return u > static_cast<qulonglong>(maximum) ? maximum : static_cast<qint64>(u);
    }
    if (isWholeNumber(value))
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
    if (isUnsigned(value))
        return double(value.toULongLong());
    if (isWholeNumber(value))
        return double(value.toLongLong());
    if (isReal(value))
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
    if (isReal(value))
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    if (isUnsigned(value))
        return QString::number(value.toULongLong());
    if (isWholeNumber(value))
        return QString::number(value.toLongLong());
    return QString();
}

} // namespace crawlmere::platform
