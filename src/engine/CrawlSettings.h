// The crawl-settings dictionary one scan shares between the hub and every URL record, safe to
// read from fetch threads while the main thread writes a value back.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>

/// A string-keyed dictionary of property-list values behind a reader-writer lock. Every read
/// copies the value out; `snapshot()` is a cheap implicitly shared copy for code that reads
/// many keys at once (a parser, a request builder).
class CrawlSettings {
public:
    CrawlSettings() = default;
    explicit CrawlSettings(QVariantMap values)
        : m_values(std::move(values))
    {
    }
    CrawlSettings(const CrawlSettings&) = delete;
    CrawlSettings& operator=(const CrawlSettings&) = delete;

    /// The stored value, or an invalid QVariant when the key is absent.
    QVariant value(const QString& key) const
    {
        std::shared_lock lock(m_mutex);
        const auto it = m_values.constFind(key);
        return it == m_values.cend() ? QVariant() : it.value();
    }
    qsizetype size() const
    {
        std::shared_lock lock(m_mutex);
        return m_values.size();
    }
    bool contains(const QString& key) const
    {
        std::shared_lock lock(m_mutex);
        return m_values.contains(key);
    }
    void insert(const QString& key, const QVariant& value)
    {
        std::unique_lock lock(m_mutex);
        ++m_generation;
        m_values.insert(key, value);
    }
    void remove(const QString& key)
    {
        std::unique_lock lock(m_mutex);
        ++m_generation;
        m_values.remove(key);
    }
    /// Adds every valid entry of `defaults` whose key is missing; stored values stay.
    void insertMissing(const QVariantMap& defaults)
    {
        std::unique_lock lock(m_mutex);
        ++m_generation;
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
            if (it.value().isValid() && !std::as_const(m_values).contains(it.key()))
                m_values.insert(it.key(), it.value());
        }
    }
    /// A number that changes with every write, so readers may keep values worked out from the
    /// dictionary until it moves.
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }
    /// A copy of the whole dictionary as it is now.
    QVariantMap snapshot() const
    {
        std::shared_lock lock(m_mutex);
        return m_values;
    }

private:
    mutable std::shared_mutex m_mutex;
    QVariantMap m_values;
    std::atomic<quint64> m_generation { 0 };
};

using SharedCrawlSettings = std::shared_ptr<CrawlSettings>;
