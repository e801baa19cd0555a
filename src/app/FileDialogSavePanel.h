// The save panel of the windows: Qt's own (non-native) file dialog.
#pragma once

#include "platform/SavePanel.h"

#include <QPointer>

class QWidget;

namespace crawlmere::app {

/// A modal `QFileDialog` in save mode, Qt's own dialog (the same on every desktop, and testable
/// offscreen). A name typed without an extension gets the request's first type; replacing an
/// existing file is confirmed by the dialog. Main thread only.
class FileDialogSavePanel final : public platform::SavePanel {
public:
    /// `parent` (may be null, may go away) centres the panel over a window.
    explicit FileDialogSavePanel(QWidget* parent = nullptr);
    std::optional<QString> runModal(const platform::SavePanelRequest& request) override;
    /// A modal warning over the window: `kSaveFailedText`, then the failure's text.
    void showSaveFailure(const QString& path, const QString& reason) override;

    /// The alert's first line.
    static inline const QString kSaveFailedText = QStringLiteral("The file could not be saved.");

    /// objectName of the dialog while it is shown.
    static inline const QString kDialogName = QStringLiteral("savePanel");

private:
    QPointer<QWidget> m_parent;
};

} // namespace crawlmere::app
