// The second login window.
#include "webrender/LegacyCookieGatherer.h"

namespace crawlmere::webrender {

LegacyCookieGatherer::LegacyCookieGatherer(QWidget* parent)
    : CookieGatherer(LoginWindowKind::Legacy, parent)
{
}

} // namespace crawlmere::webrender
