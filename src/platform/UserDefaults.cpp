#include "platform/UserDefaults.h"

#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <limits>
#include <mutex>
#include <shared_mutex>

namespace crawlmere::platform {

struct UserDefaults::State {
    QString filePath;
    // std::shared_mutex rather than QReadWriteLock: the thread sanitizer understands it.
    mutable std::shared_mutex lock;
    QVariantMap registered;
    QVariantMap persistent;
    QVariantMap arguments;
    // The persistent domain is dirty while `generation` differs from `savedGeneration`.
    quint64 generation = 0;
    quint64 savedGeneration = 0;
    bool saveScheduled = false;
    // False when a broken file could not be moved aside: saving would destroy it.
    bool writable = true;
    // Serialises saves so that an older snapshot never lands after a newer one.
    std::mutex saveMutex;

    void load();
    bool save();
};

namespace {

    // Normalises a value for storage; logs and returns an invalid QVariant when it has no
    // property-list form.
    QVariant storable(const QVariant& value, const QString& key)
    {
        auto normal = PropertyList::normalized(value);
        if (!normal) {
            qWarning("crawlmere: defaults: ignoring the value for \"%s\": %s", qUtf8Printable(key),
                qUtf8Printable(normal.error()));
            return {};
        }
        return std::move(normal).value();
    }

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

void UserDefaults::State::load()
{
    if (!QFileInfo::exists(filePath))
        return;
    auto contents = PropertyList::readFile(filePath);
    QString reason;
    if (!contents)
        reason = contents.error();
    else if (contents->typeId() != QMetaType::QVariantMap)
        reason = QStringLiteral("%1: the property list does not hold a dictionary").arg(filePath);
    if (reason.isEmpty()) {
        persistent = contents->toMap();
        return;
    }
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = filePath + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside) && n < 1000; ++n)
        aside = filePath + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    if (QFile::rename(filePath, aside)) {
        qWarning("crawlmere: defaults: %s; kept it as %s and started with empty defaults", qUtf8Printable(reason),
            qUtf8Printable(aside));
    } else {
        writable = false;
        qWarning("crawlmere: defaults: %s; it could not be moved aside, so defaults will not be saved this run",
            qUtf8Printable(reason));
    }
}

bool UserDefaults::State::save()
{
    std::lock_guard saving(saveMutex);
    QVariantMap snapshot;
    quint64 snapshotGeneration = 0;
    {
        std::shared_lock reading(lock);
        if (generation == savedGeneration)
            return true;
        if (!writable) {
            qWarning("crawlmere: defaults: not saved: %s could not be moved aside", qUtf8Printable(filePath));
            return false;
        }
        snapshot = persistent;
        snapshotGeneration = generation;
    }
    const QString folder = QFileInfo(filePath).absolutePath();
    if (!QDir().mkpath(folder)) {
        qWarning("crawlmere: defaults: not saved: cannot create %s", qUtf8Printable(folder));
        return false;
    }
    const auto written = PropertyList::writeXmlFile(filePath, snapshot);
    if (!written) {
        qWarning("crawlmere: defaults: not saved: %s", qUtf8Printable(written.error()));
        return false;
    }
    std::unique_lock writing(lock);
    savedGeneration = snapshotGeneration;
    return true;
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults(Paths::configFolder() + QStringLiteral("/defaults.plist"));
    return defaults;
}

UserDefaults::UserDefaults(const QString& filePath)
    : m_state(std::make_shared<State>())
{
    m_state->filePath = filePath;
    m_state->load();
}

UserDefaults::~UserDefaults() { m_state->save(); }

QString UserDefaults::filePath() const { return m_state->filePath; }

void UserDefaults::registerDefaults(const QVariantMap& values)
{
    QVariantMap accepted;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        QVariant value = storable(it.value(), it.key());
        if (value.isValid())
            accepted.insert(it.key(), std::move(value));
    }
    std::unique_lock writing(m_state->lock);
    m_state->registered.insert(accepted);
}

QVariantMap UserDefaults::registeredDefaults() const
{
    std::shared_lock reading(m_state->lock);
    return m_state->registered;
}

void UserDefaults::setArgumentValue(const QString& key, const QVariant& value)
{
    QVariant stored = value.isValid() ? storable(value, key) : QVariant();
    if (value.isValid() && !stored.isValid())
        return;
    std::unique_lock writing(m_state->lock);
    if (stored.isValid())
        m_state->arguments.insert(key, std::move(stored));
    else
        m_state->arguments.remove(key);
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    std::shared_lock reading(m_state->lock);
    for (const QVariantMap* layer : { &m_state->arguments, &m_state->persistent, &m_state->registered }) {
        const auto found = layer->constFind(key);
        if (found != layer->cend())
            return found.value();
    }
    return {};
}

QString UserDefaults::stringForKey(const QString& key) const { return stringValue(objectForKey(key)); }

bool UserDefaults::boolForKey(const QString& key) const { return boolValue(objectForKey(key)); }

qint64 UserDefaults::integerForKey(const QString& key) const { return integerValue(objectForKey(key)); }

double UserDefaults::doubleForKey(const QString& key) const { return doubleValue(objectForKey(key)); }

QVariantList UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QStringList UserDefaults::stringArrayForKey(const QString& key) const
{
    QStringList strings;
    for (const QVariant& item : arrayForKey(key)) {
        if (item.typeId() != QMetaType::QString)
            return {};
        strings.append(item.toString());
    }
    return strings;
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    QVariant stored = storable(value, key);
    if (!stored.isValid())
        return;
    {
        std::unique_lock writing(m_state->lock);
        const auto found = m_state->persistent.constFind(key);
        if (found != m_state->persistent.cend() && found.value() == stored)
            return;
        m_state->persistent.insert(key, std::move(stored));
    }
    changed();
}

void UserDefaults::setBool(bool value, const QString& key) { setObject(QVariant(value), key); }

void UserDefaults::setInteger(qint64 value, const QString& key) { setObject(QVariant(value), key); }

void UserDefaults::setDouble(double value, const QString& key) { setObject(QVariant(value), key); }

void UserDefaults::removeObjectForKey(const QString& key)
{
    {
        std::unique_lock writing(m_state->lock);
        if (m_state->persistent.remove(key) == 0)
            return;
    }
    changed();
}

QVariantMap UserDefaults::persistentDomain() const
{
    std::shared_lock reading(m_state->lock);
    return m_state->persistent;
}

bool UserDefaults::synchronize() { return m_state->save(); }

void UserDefaults::changed()
{
    {
        std::unique_lock writing(m_state->lock);
        ++m_state->generation;
        if (m_state->saveScheduled)
            return;
        m_state->saveScheduled = true;
    }
    auto runSave = [](const std::shared_ptr<State>& state) {
        {
            std::unique_lock writing(state->lock);
            state->saveScheduled = false;
        }
        state->save();
    };
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) {
        runSave(m_state);
        return;
    }
    // Changes made before the loop runs again are saved together. The store may be gone by
    // then; the weak pointer notices.
    std::weak_ptr<State> weak = m_state;
    QMetaObject::invokeMethod(
        application,
        [weak, runSave] {
            if (auto state = weak.lock())
                runSave(state);
        },
        Qt::QueuedConnection);
}

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
