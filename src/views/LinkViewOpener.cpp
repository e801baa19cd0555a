// The link views' opener interface.
#include "views/LinkViewOpener.h"

namespace crawlmere::views {

LinkViewOpener::~LinkViewOpener() = default;

} // namespace crawlmere::views
