// A pasteboard that keeps every string put on it, for tests of the Copy commands.
#pragma once

#include "views/Pasteboard.h"

#include <QStringList>

namespace crawlmere::views {

/// Records each `setString` in order; `string()` answers the last one. Main thread only.
class RecordingPasteboard : public Pasteboard {
public:
    void setString(const QString& text) override { strings.append(text); }
    QString string() const override { return strings.isEmpty() ? QString() : strings.last(); }

    QStringList strings;
};

} // namespace crawlmere::views
