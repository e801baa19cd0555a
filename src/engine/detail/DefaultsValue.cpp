// Defaults reads with the registered value as fallback.
#include "engine/detail/DefaultsValue.h"

#include "engine/CrawlSettingTable.h"
#include "platform/StoredValue.h"
#include "platform/UserDefaults.h"

using crawlmere::platform::UserDefaults;

namespace crawlmere::engine::detail {

namespace {

bool boolOr(const UserDefaults* store, const QString& key, bool registered)
{
    if (!store)
        return registered;
    const QVariant value = store->objectForKey(key);
    return value.isValid() ? crawlmere::platform::boolValue(value) : registered;
}

} // namespace

bool defaultsBool(const UserDefaults* store, platform::DefaultsKey<bool> key, bool registered)
{
    return boolOr(store, key, registered);
}

bool defaultsBool(const UserDefaults* store, CrawlSettingKey key)
{
    return boolOr(store, key, crawlmere::platform::boolValue(crawlSetting(key).defaultValue));
}

qint64 defaultsInteger(const UserDefaults* store, platform::DefaultsKey<qint64> key, qint64 registered)
{
    if (!store)
        return registered;
    const QVariant value = store->objectForKey(key);
    return value.isValid() ? crawlmere::platform::integerValue(value) : registered;
}

} // namespace crawlmere::engine::detail
