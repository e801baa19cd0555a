#include "platform/UserDefaults.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/StoreFile.h"
#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

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
    // The persistent domain as this process last read or wrote it: what it differs in from
    // `persistent` are this process's own changes, the only ones a save applies to the file.
    QVariantMap base;
    QVariantMap arguments;
    // The persistent domain is dirty while `generation` differs from `savedGeneration`.
    quint64 generation = 0;
    quint64 savedGeneration = 0;
    bool saveScheduled = false;
    // False when a broken file could not be moved aside: saving would destroy it.
    bool writable = true;
    // Why the file could not be read at the start; such a file is never written over.
    QString readFailure;
    // The reason of the last failed save, said once: the same again stays quiet.
    QString lastFailure;
    // The last save found the lock held past the wait: the one made when the store goes
    // does not wait again.
    bool lockTimedOut = false;
    // Serialises saves so that an older snapshot never lands after a newer one.
    std::mutex saveMutex;

    void load();
    /// Saves this store's own changes; with `change`, first lets it change the store from
    /// what the file holds, under the same lock. Logs nothing.
    Expected<void> save(const std::function<void(const QVariantMap&)>* change = nullptr,
        std::chrono::milliseconds wait = UserDefaults::lockWait());
    /// `save`, its failure said on stderr unless it is the one said last.
    bool saveAndSay(std::chrono::milliseconds wait = UserDefaults::lockWait());
    /// The file's dictionary, or nullopt when there is none (or it was broken and moved aside);
    /// `unreadable` says why when it exists but cannot be read.
    std::optional<QVariantMap> readFile(QString* unreadable);
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

namespace {

const QString kIdentity = QStringLiteral("id");

/// What tells an entry of an identified list from the others: its `id`, or for an entry
/// without one (written by an older version), its whole contents. Null for a non-dictionary.
QString identityOf(const QVariant& entry)
{
    if (entry.typeId() != QMetaType::QVariantMap)
        return {};
    const QString identity = UserDefaults::stringValue(entry.toMap().value(kIdentity));
    if (!identity.isEmpty())
        return identity;
    const auto contents = PropertyList::toXml(entry);
    return QStringLiteral("\u0001") + QString::fromUtf8(contents ? *contents : QByteArray());
}

/// True for a list of dictionaries of which some carry an `id` (the site list): such a list is
/// merged entry by entry. An absent value or an empty list counts as one.
bool isIdentifiedList(const QVariant& value)
{
    if (!value.isValid())
        return true;
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList entries = value.toList();
    bool identified = entries.isEmpty();
    for (const QVariant& entry : entries) {
        const QString identity = identityOf(entry);
        if (identity.isNull())
            return false;
        identified = identified || !identity.startsWith(QChar(1));
    }
    return identified;
}

/// The identities of a list's entries, in order, and where each first stands.
struct Identities {
    explicit Identities(const QVariantList& entries)
    {
        order.reserve(entries.size());
        for (const QVariant& entry : entries)
            order << identityOf(entry);
        reindex();
    }
    void reindex()
    {
        at.clear();
        for (qsizetype i = order.size() - 1; i >= 0; --i)
            at.insert(order.at(i), i);
    }
    qsizetype indexOf(const QString& identity) const { return at.value(identity, -1); }

    QStringList order;
    QHash<QString, qsizetype> at;
};

/// `stored` with the entries this process added, changed or removed between `base` and
/// `mine` applied, and nothing else: entries another process added stay where they are.
/// An entry this process changed that another process has removed stays removed; one it
/// added that another process added under the same id replaces that entry. A new entry goes
/// before the next entry of this process's list the file holds (last when none). When this
/// process reordered its entries, they take that order in the places they hold.
QVariantList withEntryChanges(QVariantList stored, const QVariantList& base, const QVariantList& mine)
{
    const Identities baseIds(base);
    const Identities mineIds(mine);
    QSet<QString> removed;
    for (const QString& identity : baseIds.order) {
        if (mineIds.indexOf(identity) < 0)
            removed.insert(identity);
    }
    if (!removed.isEmpty())
        stored.removeIf([&removed](const QVariant& entry) { return removed.contains(identityOf(entry)); });
    Identities storedIds(stored);
    QList<qsizetype> added;
    for (qsizetype i = 0; i < mine.size(); ++i) {
        const qsizetype inBase = baseIds.indexOf(mineIds.order.at(i));
        const qsizetype at = storedIds.indexOf(mineIds.order.at(i));
        if (inBase >= 0 ? base.at(inBase) != mine.at(i) && at >= 0 : at >= 0)
            stored[at] = mine.at(i);
        else if (inBase < 0)
            added << i;
    }
    // Last first: a new entry goes before the next entry of this process's list the file
    // holds by then, else last.
    for (auto it = added.crbegin(); it != added.crend(); ++it) {
        qsizetype position = stored.size();
        for (qsizetype after = *it + 1; after < mine.size(); ++after) {
            const qsizetype found = storedIds.order.indexOf(mineIds.order.at(after));
            if (found >= 0) {
                position = found;
                break;
            }
        }
        stored.insert(position, mine.at(*it));
        storedIds.order.insert(position, mineIds.order.at(*it));
    }
    // The order of the entries this process kept from its base, as it has them now and as it had them.
    QStringList mineOrder;
    QStringList baseOrder;
    for (const QString& identity : mineIds.order) {
        if (baseIds.indexOf(identity) >= 0)
            mineOrder << identity;
    }
    const QSet<QString> kept(mineOrder.cbegin(), mineOrder.cend());
    for (const QString& identity : baseIds.order) {
        if (kept.contains(identity))
            baseOrder << identity;
    }
    if (baseOrder == mineOrder)
        return stored;
    storedIds.reindex();
    QList<qsizetype> places;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (kept.contains(storedIds.order.at(i)))
            places << i;
    }
    QVariantList ordered;
    for (const QString& identity : std::as_const(mineOrder)) {
        const qsizetype at = storedIds.indexOf(identity);
        if (at >= 0)
            ordered << stored.at(at);
    }
    for (qsizetype i = 0; i < places.size() && i < ordered.size(); ++i)
        stored[places.at(i)] = ordered.at(i);
    return stored;
}

/// `stored` (the file as another process may have left it) with this process's own
/// changes, from `base` to `mine`, applied: each key it set or removed, and for a list of
/// identified entries the entries it added, changed or removed.
QVariantMap withChanges(QVariantMap stored, const QVariantMap& base, const QVariantMap& mine)
{
    QStringList keys = base.keys() + mine.keys();
    keys.removeDuplicates();
    for (const QString& key : std::as_const(keys)) {
        const QVariant before = base.value(key);
        const QVariant now = mine.value(key);
        if (before == now)
            continue;
        if (!now.isValid()) {
            stored.remove(key);
            continue;
        }
        const QVariant there = stored.value(key);
        if (isIdentifiedList(before) && isIdentifiedList(now) && isIdentifiedList(there))
            stored.insert(key, withEntryChanges(there.toList(), before.toList(), now.toList()));
        else
            stored.insert(key, now);
    }
    return stored;
}

} // namespace

std::optional<QVariantMap> UserDefaults::State::readFile(QString* unreadable)
{
    // Only a regular file that is there and reads counts as broken when it does not parse: one
    // this process may not read, or a folder or a FIFO in its place, is left where it is.
    const auto read = readStoreFile(filePath, PropertyList::maximumSize);
    if (!read) {
        *unreadable = read.error();
        return std::nullopt;
    }
    if (!read->exists)
        return std::nullopt;
    auto contents = PropertyList::read(read->bytes);
    QString reason;
    if (!contents)
        reason = QStringLiteral("%1: %2").arg(filePath, contents.error());
    else if (contents->typeId() != QMetaType::QVariantMap)
        reason = QStringLiteral("%1: the property list does not hold a dictionary").arg(filePath);
    if (reason.isEmpty())
        return contents->toMap();
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (const QString aside = moveStoreAside(filePath, QStringLiteral(".corrupt-") + stamp); !aside.isNull()) {
        logLine(0,
            QStringLiteral("crawlmere: defaults: %1; kept it as %2 and started with empty defaults")
                .arg(reason, aside));
    } else {
        writable = false;
        logLine(0,
            QStringLiteral(
                "crawlmere: defaults: %1; it could not be moved aside, so defaults will not be saved this run")
                .arg(reason));
    }
    return std::nullopt;
}

void UserDefaults::State::load()
{
    persistent = readFile(&readFailure).value_or(QVariantMap());
    base = persistent;
}

namespace {

std::mutex lockWaitMutex;
std::function<void(const QString&)> lockWaitObserver;

/// The thread's store inside `changeUnderLock`: its changes are saved by that call.
thread_local const void* changingUnderLock = nullptr;

} // namespace

Expected<void> UserDefaults::State::save(
    const std::function<void(const QVariantMap&)>* change, std::chrono::milliseconds wait)
{
    std::lock_guard saving(saveMutex);
    {
        std::shared_lock reading(lock);
        if (!change && generation == savedGeneration)
            return {};
        if (!readFailure.isNull())
            return Unexpected(QStringLiteral("%1, so it is left as it is").arg(readFailure));
        if (!writable)
            return Unexpected(QStringLiteral("%1 could not be moved aside").arg(filePath));
    }
    const QString folder = QFileInfo(filePath).absolutePath();
    if (!Paths::makeFolder(folder))
        return Unexpected(QStringLiteral("cannot create %1").arg(folder));
    // Other programs write the file too: under the lock, what they saved is read again and
    // only this process's own changes go on top of it. Never without the lock.
    const StoreLock exclusive(filePath + QStringLiteral(".lock"), wait, [this, wait] {
        const QString message = QStringLiteral("another Crawlmere is saving %1; waiting up to %2 s")
                                    .arg(filePath, QString::number(double(wait.count()) / 1000.0));
        std::function<void(const QString&)> observer;
        {
            std::lock_guard observing(lockWaitMutex);
            observer = lockWaitObserver;
        }
        if (observer)
            observer(message);
        else
            logLine(0, QStringLiteral("crawlmere: ") + message);
    });
    lockTimedOut = exclusive.timedOut();
    if (!exclusive.held())
        return Unexpected(QStringLiteral("cannot lock it: %1").arg(exclusive.error()));
    QString unreadable;
    const std::optional<QVariantMap> stored = readFile(&unreadable);
    if (!unreadable.isNull())
        return Unexpected(unreadable);
    if (!writable)
        return Unexpected(QStringLiteral("%1 could not be moved aside").arg(filePath));
    QVariantMap before;
    quint64 beforeGeneration = 0;
    if (change) {
        {
            std::shared_lock reading(lock);
            before = persistent;
            beforeGeneration = generation;
        }
        changingUnderLock = this;
        (*change)(stored.value_or(QVariantMap()));
        changingUnderLock = nullptr;
    }
    QVariantMap snapshot;
    QVariantMap snapshotBase;
    quint64 snapshotGeneration = 0;
    {
        std::shared_lock reading(lock);
        if (generation == savedGeneration)
            return {};
        snapshot = persistent;
        snapshotBase = base;
        snapshotGeneration = generation;
    }
    const QVariantMap merged = stored ? withChanges(*stored, snapshotBase, snapshot) : snapshot;
    const auto written = PropertyList::writeXmlFile(filePath, merged);
    std::unique_lock writing(lock);
    if (!written) {
        // What the change set is taken back: it was decided from a file it never reached.
        if (change) {
            persistent = before;
            generation = beforeGeneration;
        }
        return Unexpected(written.error());
    }
    savedGeneration = snapshotGeneration;
    base = snapshot;
    lastFailure.clear();
    return {};
}

bool UserDefaults::State::saveAndSay(std::chrono::milliseconds wait)
{
    const Expected<void> saved = save(nullptr, wait);
    if (saved)
        return true;
    std::unique_lock writing(lock);
    if (saved.error() != lastFailure) {
        lastFailure = saved.error();
        logLine(0, QStringLiteral("crawlmere: defaults: not saved: ") + saved.error());
    }
    return false;
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

UserDefaults::~UserDefaults()
{
    // A program ending is not held up a second time by a lock that outlasted the wait already.
    m_state->saveAndSay(m_state->lockTimedOut ? std::chrono::milliseconds(0) : lockWait());
}

QString UserDefaults::readFailure() const
{
    std::shared_lock reading(m_state->lock);
    return m_state->readFailure;
}

std::chrono::milliseconds UserDefaults::lockWait()
{
    bool ok = false;
    const qint64 milliseconds = qEnvironmentVariable("CRAWLMERE_DEFAULTS_LOCK_WAIT_MS").toLongLong(&ok);
    return std::chrono::milliseconds(ok && milliseconds >= 0 ? milliseconds : 10000);
}

void UserDefaults::setLockWaitObserver(std::function<void(const QString& message)> observer)
{
    std::lock_guard observing(lockWaitMutex);
    lockWaitObserver = std::move(observer);
}

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

bool UserDefaults::synchronize() { return m_state->saveAndSay(); }

Expected<void> UserDefaults::changeUnderLock(const std::function<void(const QVariantMap& stored)>& change)
{
    const Expected<void> saved = m_state->save(&change);
    if (!saved) {
        std::unique_lock writing(m_state->lock);
        m_state->lastFailure = saved.error();
    }
    return saved;
}

void UserDefaults::changed()
{
    {
        std::unique_lock writing(m_state->lock);
        ++m_state->generation;
        // Inside changeUnderLock the change is saved by that call.
        if (m_state->saveScheduled || changingUnderLock == m_state.get())
            return;
        m_state->saveScheduled = true;
    }
    auto runSave = [](const std::shared_ptr<State>& state) {
        {
            std::unique_lock writing(state->lock);
            state->saveScheduled = false;
        }
        state->saveAndSay();
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
