// What the new-version check shows: an interface for its window, so the check can be tested
// without a display.
#pragma once

#include <QString>
#include <QStringList>

namespace crawlmere::app {

/// The update window and the main window's new-version button. Main thread only.
class UpdateWindowView {
public:
    virtual ~UpdateWindowView() = default;

    /// The notes: HTML (shown without loading anything it refers to) or plain text.
    virtual void setNotes(const QString& text, bool html) = 0;
    virtual void setVersionText(const QString& text) = 0;
    virtual void setReleaseDateText(const QString& text) = 0;
    /// Whether the window's reminder box is ticked.
    virtual bool updateCheckChecked() const = 0;
    /// showDetails: the window as a sheet over the main window, or centred and in front.
    virtual void showDetails() = 0;
    /// closeSheet: the window goes away.
    virtual void closeSheet() = 0;
    /// Shows the main window's new-version button.
    virtual void showNewVersionButton() = 0;
    /// Whether the home page button is offered.
    virtual void setHomePageAvailable(bool available) = 0;
    /// The download's progress: `expected` < 0 while the size is unknown; `running` false stops
    /// the indicator.
    virtual void setProgress(bool running, qint64 received, qint64 expected) = 0;
    /// Whether there is a build to download: the Download button is offered only then.
    virtual void setDownloadAvailable(bool available) = 0;
};

} // namespace crawlmere::app
