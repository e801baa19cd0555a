// The user-defaults store: the registered, argument and persistent domains, and the locked saves
// that merge this process's own changes into the file.
#include "platform/UserDefaults.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/StoreFile.h"
#include "platform/AtomicFile.h"
#include "platform/detail/DefaultsMerge.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <mutex>
#include <shared_mutex>
#include <utility>

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
    // Why a value set inside `changeUnderLock` could not be stored: the change is then refused
    // whole rather than saved without it.
    QString refusedInChange;

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
QVariant storable(const QVariant& value, const QString& key, QString* refusal = nullptr)
{
    auto normal = PropertyList::normalized(value);
    if (!normal) {
        qWarning("crawlmere: defaults: ignoring the value for \"%s\": %s", qUtf8Printable(key),
            qUtf8Printable(normal.error()));
        if (refusal)
            *refusal = QStringLiteral("the value for \"%1\" cannot be stored: %2").arg(key, normal.error());
        return {};
    }
    return std::move(normal).value();
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
        refusedInChange.clear();
        changingUnderLock = this;
        (*change)(stored.value_or(QVariantMap()));
        changingUnderLock = nullptr;
        if (!refusedInChange.isNull()) {
            // Saved without the value it could not hold, the change would be half made.
            std::unique_lock writing(lock);
            persistent = before;
            generation = beforeGeneration;
            return Unexpected(std::exchange(refusedInChange, QString()));
        }
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
    const QVariantMap merged = stored ? detail::withChanges(*stored, snapshotBase, snapshot) : snapshot;
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
    QString refusal;
    QVariant stored = storable(value, key, &refusal);
    if (!stored.isValid()) {
        if (changingUnderLock == m_state.get())
            m_state->refusedInChange = refusal;
        return;
    }
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

} // namespace crawlmere::platform
