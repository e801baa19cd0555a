// The pasteboard interface and the application's general pasteboard.
#include "views/Pasteboard.h"

#include "views/ClipboardPasteboard.h"

namespace crawlmere::views {

Pasteboard::~Pasteboard() = default;

Pasteboard& Pasteboard::general()
{
    static ClipboardPasteboard clipboard;
    return clipboard;
}

} // namespace crawlmere::views
