// The window-modal sheet of a running archive export: its info line, its bar and Cancel.
#pragma once

#include "archive/ArchiveExportController.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace crawlmere::views {

/// Shows what `ArchiveExportController::sheet` says and sends Cancel to the controller. It takes
/// the controller's `sheetChanged`; the controller must outlive it. Main thread only.
class ArchiveProgressSheet final : public QDialog {
    Q_OBJECT
public:
    ArchiveProgressSheet(archive::ArchiveExportController& controller, QWidget* window);

    /// Shows or hides the sheet with the given line and bar.
    void showSheet(const archive::ArchiveExportSheet& sheet);

    QLabel* infoLabel() const { return exportSiteProgress_infoLabel; }
    QProgressBar* progressBar() const { return exportSiteProgress_progBar; }
    QPushButton* cancelButton() const { return cancel; }

private:
    archive::ArchiveExportController& controller;
    QLabel* exportSiteProgress_infoLabel;
    QProgressBar* exportSiteProgress_progBar;
    QPushButton* cancel;
};

} // namespace crawlmere::views
