// Text helpers of the report exports: HTML escaping and the atomic UTF-8 save, shared with the
// other exports through the platform layer.
#pragma once

#include "platform/Strings.h"
#include "platform/AtomicFile.h"

namespace crawlmere::reports::detail {

using platform::saveTextAtomically;
using platform::strings::htmlEscaped;

} // namespace crawlmere::reports::detail
