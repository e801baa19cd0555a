// The coercions of a single stored value that the typed getters of the user defaults apply.
#include "platform/UserDefaults.h"

#include <QLocale>
#include <QVariant>

#include <cmath>
#include <limits>
#include <optional>

namespace crawlmere::platform {

namespace {

QStringView skipLeadingSpace(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    return text.mid(i);
}

// The optionally signed integer at the start of `text` (after white space), saturating on
// overflow; nullopt when there are no digits.
std::optional<qint64> leadingInteger(QStringView text)
{
    text = skipLeadingSpace(text);
    bool negative = false;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    // Accumulate as a negative number: its range includes INT64_MIN.
    qint64 value = 0;
    bool any = false;
    bool saturated = false;
    constexpr qint64 minimum = std::numeric_limits<qint64>::min();
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        any = true;
        const int digit = text[i].unicode() - '0';
        if (saturated)
            continue;
        if (value < (minimum + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (!any)
        return std::nullopt;
    if (saturated)
        return negative ? minimum : std::numeric_limits<qint64>::max();
    if (negative)
        return value;
    return value == minimum ? std::numeric_limits<qint64>::max() : -value;
}

// The decimal number at the start of `text` (after white space): sign, digits, fraction and
// exponent; nullopt when there is no digit before the exponent.
std::optional<double> leadingReal(QStringView text)
{
    text = skipLeadingSpace(text);
    auto isDigit = [&](qsizetype at) {
        return at < text.size() && text[at] >= QLatin1Char('0') && text[at] <= QLatin1Char('9');
    };
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    bool any = false;
    while (isDigit(i)) {
        ++i;
        any = true;
    }
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        while (isDigit(i)) {
            ++i;
            any = true;
        }
    }
    if (!any)
        return std::nullopt;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype exponent = i + 1;
        if (exponent < text.size() && (text[exponent] == QLatin1Char('+') || text[exponent] == QLatin1Char('-')))
            ++exponent;
        if (isDigit(exponent)) {
            while (isDigit(exponent))
                ++exponent;
            i = exponent;
        }
    }
    // The text is ASCII by construction; QByteArray::toDouble ignores the locale.
    return text.left(i).toLatin1().toDouble();
}

} // namespace

QString UserDefaults::stringValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QString::number(value.toLongLong());
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return {};
    }
}

bool UserDefaults::boolValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::LongLong:
    case QMetaType::Int:
        return value.toLongLong() != 0;
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return value.toULongLong() != 0;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double real = value.toDouble();
        return real != 0 && !std::isnan(real);
    }
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0
            || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        return leadingInteger(text).value_or(0) != 0;
    }
    default:
        return false;
    }
}

qint64 UserDefaults::integerValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::LongLong:
    case QMetaType::Int:
        return value.toLongLong();
    case QMetaType::ULongLong:
    case QMetaType::UInt: {
        const quint64 number = value.toULongLong();
        constexpr auto maximum = std::numeric_limits<qint64>::max();
        return number > quint64(maximum) ? maximum : qint64(number);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double real = value.toDouble();
        if (std::isnan(real))
            return 0;
        // 2^63 is exactly representable; anything at or beyond it saturates.
        if (real >= 9223372036854775808.0)
            return std::numeric_limits<qint64>::max();
        if (real <= -9223372036854775808.0)
            return std::numeric_limits<qint64>::min();
        return qint64(real);
    }
    case QMetaType::QString:
        return leadingInteger(value.toString()).value_or(0);
    default:
        return 0;
    }
}

double UserDefaults::doubleValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1.0 : 0.0;
    case QMetaType::LongLong:
    case QMetaType::Int:
        return double(value.toLongLong());
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return double(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QString:
        return leadingReal(value.toString()).value_or(0.0);
    default:
        return 0.0;
    }
}

} // namespace crawlmere::platform
