#include "platform/NotificationCenter.h"

#include "platform/Dispatch.h"

#include <algorithm>

namespace crawlmere::platform {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

quint64 NotificationCenter::addObserver(const void* owner, const QString& name, Handler handler, const void* sender)
{
    std::lock_guard lock(m_mutex);
    const quint64 token = m_nextToken++;
    m_entries.push_back(Entry { token, owner, name, sender, std::move(handler) });
    return token;
}

void NotificationCenter::removeObserver(quint64 token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [token](const Entry& entry) { return entry.token == token; });
}

void NotificationCenter::removeObserver(const void* owner, const QString& name)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry& entry) {
        return entry.owner == owner && (name.isEmpty() || entry.name == name);
    });
}

void NotificationCenter::post(const QString& name, std::shared_ptr<void> object, const QVariantMap& userInfo)
{
    post(Notification { name, std::move(object), userInfo });
}

void NotificationCenter::post(const Notification& notification)
{
    if (Dispatch::isMainThread()) {
        deliver(notification);
        return;
    }
    Dispatch::toMain([this, notification] { deliver(notification); });
}

bool NotificationCenter::isRegistered(quint64 token) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(), [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::deliver(const Notification& notification)
{
    std::vector<std::pair<quint64, Handler>> matching;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry& entry : m_entries) {
            if (!entry.name.isEmpty() && entry.name != notification.name)
                continue;
            if (entry.sender && entry.sender != notification.object.get())
                continue;
            matching.emplace_back(entry.token, entry.handler);
        }
    }
    for (const auto& [token, handler] : matching) {
        if (isRegistered(token))
            handler(notification);
    }
}

} // namespace crawlmere::platform
