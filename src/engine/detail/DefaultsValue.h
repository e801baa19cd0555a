// Reads of the application defaults store that fall back to the value the application
// registers at launch when the key is absent (tests, tools, or before registration).
#pragma once

#include "engine/CrawlSettingKeys.h"
#include "platform/DefaultsKeys.h"

#include <QString>
#include <QtGlobal>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::engine::detail {

/// The store's value for `key` read as a boolean, or `registered` when the store (null
/// included) has no value for it.
bool defaultsBool(const crawlmere::platform::UserDefaults* store, platform::DefaultsKey<bool> key, bool registered);
/// A crawl setting the scan reads from the application's store, with the table's default.
bool defaultsBool(const crawlmere::platform::UserDefaults* store, CrawlSettingKey key);
/// The same read as an integer.
qint64 defaultsInteger(
    const crawlmere::platform::UserDefaults* store, platform::DefaultsKey<qint64> key, qint64 registered);

} // namespace crawlmere::engine::detail
