// Sets values in the standard defaults store for one test and removes them afterwards, so tests
// see the registered behaviour of keys they did not set.
#pragma once

#include "platform/UserDefaults.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace crawlmere::test {

class ScopedDefaults {
public:
    ScopedDefaults() = default;
    ScopedDefaults(const ScopedDefaults&) = delete;
    ScopedDefaults& operator=(const ScopedDefaults&) = delete;
    ~ScopedDefaults()
    {
        for (const QString& key : m_keys)
            crawlmere::platform::UserDefaults::standard().removeObjectForKey(key);
    }

    void set(const QString& key, const QVariant& value)
    {
        crawlmere::platform::UserDefaults::standard().setObject(value, key);
        if (!m_keys.contains(key))
            m_keys.append(key);
    }

private:
    QStringList m_keys;
};

} // namespace crawlmere::test
