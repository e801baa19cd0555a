// Asking the user where to save a file, behind an interface so that exports can be tested
// without a dialog.
#pragma once

#include "platform/AtomicFile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace crawlmere::platform {

/// What a save panel shows.
struct SavePanelRequest {
    QString title;
    /// The suggested file name (nameFieldStringValue), without a folder.
    QString nameFieldStringValue;
    /// The folder shown first; empty for the panel's own choice.
    QString directory;
    /// Extensions without the dot ("csv", "html"); the first is added to a name typed without
    /// one. Empty: any file.
    QStringList allowedFileTypes;
    /// What is saved, in words fit for a file name ("by-link", "sitemap"); the window's panel
    /// keeps a folder per kind and proposes a name from it. Empty: an export of no kind.
    QString kind;
};

/// A modal save panel. Main thread only.
class SavePanel {
public:
    virtual ~SavePanel() = default;
    /// Shows the panel and waits: the absolute path chosen (the user has agreed to replace an
    /// existing file), or nullopt when the panel was cancelled.
    virtual std::optional<QString> runModal(const SavePanelRequest& request) = 0;
    /// Tells the user that saving to `path` (chosen in the panel) failed for `reason`, the text
    /// `saveFailureText` makes of them, and waits until that is read. Every save asked for
    /// through a panel that fails ends here.
    virtual void showSaveFailure(const QString& path, const QString& reason) = 0;
};

} // namespace crawlmere::platform
