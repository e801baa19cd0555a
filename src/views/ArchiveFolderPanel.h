// The folder question of an archive export: where to write it, Preserve or Process, and whether
// to keep asking for this site.
#pragma once

#include "archive/ArchiveExportController.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace crawlmere::views {

/// A folder panel with the accessory view of the export (`archiveAccessoryView`: the Preserve and
/// Process buttons and `dontDisplayArchiveDialogButton`), shown as `ArchiveFolderQuestion` says.
/// Main thread only.
class ArchiveFolderPanel final : public QDialog {
    Q_OBJECT
public:
    struct Answer {
        QString folder;
        bool process = true;
        bool dontAskAgain = false;
    };

    ArchiveFolderPanel(const archive::ArchiveFolderQuestion& question, QWidget* parent = nullptr);

    /// The choice as it stands; nullopt without a folder.
    std::optional<Answer> answer() const;
    /// Runs the panel modally; nullopt when it was cancelled or no folder was chosen.
    static std::optional<Answer> ask(const archive::ArchiveFolderQuestion& question, QWidget* parent);

    QLineEdit* folderField() const { return folder; }
    QRadioButton* processButton() const { return process; }
    QRadioButton* preserveButton() const { return preserve; }
    QCheckBox* dontAskAgainBox() const { return dontDisplayArchiveDialogButton; }

private:
    QLineEdit* folder;
    QRadioButton* preserve;
    QRadioButton* process;
    QCheckBox* dontDisplayArchiveDialogButton;
};

} // namespace crawlmere::views
