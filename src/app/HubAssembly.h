// The hub with the services every scan shares, put together once for the windowed and the headless program.
#pragma once

#include <memory>

class Z12Ara;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

/// A new hub on `defaults` with the services both programs give it: the network transport, the
/// page reader, the link-extraction parsers and the SEO data source. Also installs the page
/// reader fetch jobs use. The caller adds what is its own: prompts, site store, diagnostic and
/// archive sink.
std::shared_ptr<Z12Ara> assembleHub(platform::UserDefaults& defaults);

} // namespace crawlmere::app
