// The user-defaults store: registered defaults under a persistent domain kept in an XML
// property list, with a run-only layer of values given on the command line on top.
#pragma once

#include "platform/DefaultsKeys.h"
#include "platform/Expected.h"
#include "platform/StoredValue.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <functional>
#include <memory>
#include <type_traits>

namespace crawlmere::platform {

/// Three layers, looked up in this order:
/// 1. the argument layer: values given on the command line for this run (never saved);
/// 2. the persistent domain: the user's values, saved to `filePath()` as an XML property list;
/// 3. the registered layer: the application's defaults, registered at start-up (never saved).
///
/// Values are stored in their property-list form (see PropertyList::normalized): a QStringList
/// comes back as a QVariantList of strings, an int as a qint64, a float as a double. A value with
/// no property-list form is refused (logged to stderr, nothing stored).
///
/// Typed getters read what they find as `platform/StoredValue.h` reads any stored value
/// (`stringValue`, `boolValue`, `integerValue`, `doubleValue`), so an absent key reads as a
/// null string, NO or 0, and a text "NO" is NO here as in a site's settings.
/// - `arrayForKey` / `dictionaryForKey`: the container, or an empty one for any other type.
/// - `stringArrayForKey`: the array when every element is a string, else an empty list.
///
/// Saving: every change marks the store dirty and schedules a save on the main thread's event
/// loop (changes made together are saved together); without a QCoreApplication the save happens
/// at once. `synchronize()` saves synchronously, and the destructor saves when dirty. Saves go
/// through `AtomicFile`, so an interrupted save leaves the previous file whole. A failed save
/// keeps the store dirty so the next save tries again.
///
/// Several programs share the file (the window, a scheduled scan, an import): a save takes an
/// exclusive lock (flock on `<file>.lock`), reads the file again and applies only this store's
/// own changes since it last read or wrote it: each key it set or removed, and in a list whose
/// entries are all dictionaries with an `id` (the site list), the entries it added, changed or
/// removed. What another program saved meanwhile stays; this store does not take it in (it
/// shows at the next start).
///
/// The lock: a save waits for another program's lock at most `lockWait()`, says so once through
/// the lock-wait observer (stderr unless one is set) and fails when the wait runs out; it never
/// saves without the lock. The lock file is opened without following a link; a link, or a file
/// this user does not own (left by a run under another identity), is replaced by the user's
/// own under a lock on the folder, so that programs repairing it at once agree on one file.
/// A failed save is said on stderr once: the same reason again stays quiet until a save works.
///
/// Loading: a file that cannot be parsed (or does not hold a dictionary) is renamed to
/// `<file>.corrupt-<UTC timestamp>`, a line goes to stderr and the store starts empty. If the
/// broken file cannot be moved aside, the store never writes over it (saves fail). A file that
/// cannot be read at all (no permission, an I/O error) is not broken: it stays where it is, the
/// store starts empty, never writes over it, and `readFailure()` says why.
///
/// Thread safety: every method may be called from any thread.
class UserDefaults {
public:
    /// The application's store, on `Paths::configFolder() + "/defaults.plist"`. Created on first
    /// use; lives until the program exits.
    static UserDefaults& standard();

    /// A store on its own file (tests); loads it if present.
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    QString filePath() const;

    /// Merges `values` into the registered layer (a key registered again takes the new value).
    void registerDefaults(const QVariantMap& values);
    QVariantMap registeredDefaults() const;

    /// Sets a value for this run only; it hides the persistent and registered values and is
    /// never saved. An invalid QVariant removes the key from this layer.
    void setArgumentValue(const QString& key, const QVariant& value);

    /// The value from the first layer that has the key; an invalid QVariant when none has.
    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;
    QStringList stringArrayForKey(const QString& key) const;

    /// A declared default read as its key's type, by the typed getter of that type (an absent
    /// key: NO, 0, a null string or an empty list; `QVariant` keys: the value as stored).
    template <typename T>
    T value(const DefaultsKey<T>& key) const;
    /// Stores a declared default in the persistent domain.
    template <typename T>
    void setValue(const DefaultsKey<T>& key, const T& value);

    /// Sets a value in the persistent domain; an invalid QVariant removes the key.
    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);
    void setInteger(qint64 value, const QString& key);
    void setDouble(double value, const QString& key);
    void removeObjectForKey(const QString& key);

    /// The persistent domain alone (what is saved).
    QVariantMap persistentDomain() const;

    /// Saves now if anything changed since the last save. Returns false, and logs to stderr,
    /// when the save failed; true when it succeeded or there was nothing to save.
    bool synchronize();

    /// Holding the file's lock: reads the file, calls `change` with what it holds (empty when
    /// there is none) for it to change this store, and saves at once, so that what `change`
    /// decides from the file (a new site's id) still holds when it is written. When the save
    /// fails, what `change` set is taken back (the store is as it was) and the reason returned;
    /// the caller says it (this store logs nothing). `change` must not call `synchronize`.
    Expected<void> changeUnderLock(const std::function<void(const QVariantMap& stored)>& change);

    /// Why the file could not be read when the store was made (a null string when it could or
    /// there was none). Such a store never writes over the file.
    QString readFailure() const;

    /// How long a save waits for another program's lock: the milliseconds in the environment's
    /// `CRAWLMERE_DEFAULTS_LOCK_WAIT_MS` when set, else 10 s.
    static std::chrono::milliseconds lockWait();
    /// Told once per save that finds the lock held by another program, with the text to show
    /// (the window puts it on its status line); null restores the line on stderr.
    static void setLockWaitObserver(std::function<void(const QString& message)> observer);

private:
    struct State;
    void changed();
    std::shared_ptr<State> m_state;
};

template <typename T>
T UserDefaults::value(const DefaultsKey<T>& key) const
{
    if constexpr (std::is_same_v<T, bool>)
        return boolForKey(key);
    else if constexpr (std::is_same_v<T, qint64>)
        return integerForKey(key);
    else if constexpr (std::is_same_v<T, double>)
        return doubleForKey(key);
    else if constexpr (std::is_same_v<T, QString>)
        return stringForKey(key);
    else if constexpr (std::is_same_v<T, QStringList>)
        return stringArrayForKey(key);
    else if constexpr (std::is_same_v<T, QVariantList>)
        return arrayForKey(key);
    else {
        static_assert(std::is_same_v<T, QVariant>, "a default is a switch, a number, a text or a list");
        return objectForKey(key);
    }
}

template <typename T>
void UserDefaults::setValue(const DefaultsKey<T>& key, const T& value)
{
    if constexpr (std::is_same_v<T, bool>)
        setBool(value, key);
    else if constexpr (std::is_same_v<T, qint64>)
        setInteger(value, key);
    else if constexpr (std::is_same_v<T, double>)
        setDouble(value, key);
    else
        setObject(QVariant::fromValue(value), key);
}

} // namespace crawlmere::platform
