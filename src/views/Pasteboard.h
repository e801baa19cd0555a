// The general pasteboard as the result views' Copy commands see it: one plain string.
#pragma once

#include <QString>

namespace crawlmere::views {

/// Where Copy puts its text. The application uses `general()`, the system clipboard; tests hand
/// the views one that keeps what it is given. Main thread only.
class Pasteboard {
public:
    virtual ~Pasteboard();
    /// Replaces the pasteboard's contents with `text` as plain text (the only type declared).
    virtual void setString(const QString& text) = 0;
    /// The plain text on the pasteboard; empty when it holds none.
    virtual QString string() const = 0;

    /// The system clipboard; lives until the program exits. Without a GUI application it holds
    /// nothing and ignores writes.
    static Pasteboard& general();
};

} // namespace crawlmere::views
