// The window of the new-version check: the notes, the version and release date, the download
// with its progress, and the main window's new-version button.
#pragma once

#include "app/UpdateWindowView.h"

#include <QDialog>
#include <QPointer>
#include <QPushButton>

class QCheckBox;
class QLabel;
class QMainWindow;
class QProgressBar;
class QTextBrowser;

namespace crawlmere::app {

class UpdateWindowController;

/// `updateWindow`, shown as a window-modal sheet over `mainWindow` (or centred without one),
/// with `updateTextView` (a browser that loads nothing a document refers to), `versionTextField`,
/// `releaseDateTextField`, `updateCheckCheckbox`, `progressIndicator`, `imageView` and the
/// buttons `downloadButton`, `visitButton` and `closeButton`. `newVersionButton` is made here for
/// the main window to place; it starts hidden. Main thread only.
class UpdateWindow final : public QDialog, public UpdateWindowView {
    Q_OBJECT
public:
    explicit UpdateWindow(QWidget* mainWindow = nullptr);
    ~UpdateWindow() override;

    /// Connects the buttons to `controller`'s actions; it must outlive the window's use.
    void setController(UpdateWindowController* controller);
    /// setController, then puts `newVersionButton` in `mainWindow`'s menu bar corner, adds "Check
    /// for Updates…" (`checkForUpdatesMenuItem`) and "Turn On Automatic Update Checks"
    /// (`turnOnAutoUpdatesMenuItem`) to its "helpMenu" and hands them to `controller`, whose
    /// quit after a download closes every window and quits, as the Quit item does.
    void installInMainWindow(QMainWindow* mainWindow, UpdateWindowController* controller);
    QPushButton* newVersionButton() const { return m_newVersionButton; }

    void setNotes(const QString& text, bool html) override;
    void setVersionText(const QString& text) override;
    void setReleaseDateText(const QString& text) override;
    bool updateCheckChecked() const override;
    void showDetails() override;
    void closeSheet() override;
    void showNewVersionButton() override;
    void setHomePageAvailable(bool available) override;
    void setProgress(bool running, qint64 received, qint64 expected) override;
    void setDownloadAvailable(bool available) override;

private:
    QPointer<QWidget> m_mainWindow;
    QTextBrowser* m_updateTextView = nullptr;
    QLabel* m_versionTextField = nullptr;
    QLabel* m_releaseDateTextField = nullptr;
    QCheckBox* m_updateCheckCheckbox = nullptr;
    QProgressBar* m_progressIndicator = nullptr;
    QPushButton* m_downloadButton = nullptr;
    bool m_downloadAvailable = false;
    QPushButton* m_visitButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QPointer<QPushButton> m_newVersionButton;
};

} // namespace crawlmere::app
