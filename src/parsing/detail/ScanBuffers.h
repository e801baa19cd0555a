// The capture buffers that the head and body phases of the page scanner share.
#pragma once

#include "parsing/TagSyntax.h"
#include "parsing/detail/CaptureBuffer.h"

namespace crawlmere::parsing::detail {

/// Byte limits of the capture buffers: a value longer than its limit keeps its first bytes.
using parsing::kUrlLimit;
using parsing::kValueLimit;
inline constexpr size_t kHreflangLimit = 98;
inline constexpr size_t kAltLimit = 1998;

/// Allocated once per pass by the frame and handed to both phases.
struct ScanBuffers {
    CaptureBuffer metaContent { kValueLimit };
    CaptureBuffer metaName { kValueLimit }; ///< also names and ids in the body
    CaptureBuffer linkHref { kValueLimit }; ///< in the body also other attribute values
    CaptureBuffer url { kUrlLimit };
    CaptureBuffer hreflang { kHreflangLimit };
    CaptureBuffer relAndType { kValueLimit }; ///< one buffer for rel and type
};

} // namespace crawlmere::parsing::detail
