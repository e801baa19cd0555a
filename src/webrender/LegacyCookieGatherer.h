// The second login window: the same window with a 30-second time-out, whose JavaScript switch
// gives the view fresh settings before applying itself.
#pragma once

#include "webrender/CookieGatherer.h"

namespace crawlmere::webrender {

/// See `CookieGatherer`. Main thread only.
class LegacyCookieGatherer final : public CookieGatherer {
public:
    explicit LegacyCookieGatherer(QWidget* parent = nullptr);
};

} // namespace crawlmere::webrender
