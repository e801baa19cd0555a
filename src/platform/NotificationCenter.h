// Named notifications with an object and a user-info map, delivered on the main thread.
#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace crawlmere::platform {

/// One posted notification. `object` is the sender or the thing the notification is about; the
/// notification keeps it alive until every observer has seen it.
struct Notification {
    QString name;
    std::shared_ptr<void> object;
    QVariantMap userInfo;

    template <typename T> std::shared_ptr<T> objectAs() const { return std::static_pointer_cast<T>(object); }
};

/// Observers register under an owner key (any address, usually `this`) and are removed by it.
/// A post on the main thread delivers at once, in registration order; a post from another
/// thread is queued to the main thread. An observer removed during a delivery is not called
/// afterwards, and an observer added during a delivery first sees the next post.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    /// Observes `name` (every name when empty) from `sender` (every sender when null).
    /// Returns a token that `removeObserver(quint64)` takes.
    quint64 addObserver(const void* owner, const QString& name, Handler handler, const void* sender = nullptr);
    void removeObserver(quint64 token);
    /// Removes every observation of `owner`, or only those of `name` when given.
    void removeObserver(const void* owner, const QString& name = QString());

    void post(const QString& name, std::shared_ptr<void> object = nullptr, const QVariantMap& userInfo = {});
    void post(const Notification& notification);

private:
    struct Entry {
        quint64 token;
        const void* owner;
        QString name;
        const void* sender;
        Handler handler;
    };
    void deliver(const Notification& notification);
    bool isRegistered(quint64 token) const;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    quint64 m_nextToken = 1;
};

} // namespace crawlmere::platform
