// The pasteboard backed by the system clipboard.
#pragma once

#include "views/Pasteboard.h"

namespace crawlmere::views {

/// Writes and reads the clipboard of the running QGuiApplication; without one (a headless run)
/// writes are dropped and reads answer an empty string. Main thread only.
class ClipboardPasteboard : public Pasteboard {
public:
    void setString(const QString& text) override;
    QString string() const override;
};

} // namespace crawlmere::views
