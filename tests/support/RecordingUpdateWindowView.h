// An update window that keeps what it is shown, for tests of the new-version check.
#pragma once

#include "app/UpdateWindowView.h"

#include <QString>

namespace crawlmere::app {

/// Keeps what it is shown. Main thread only.
class RecordingUpdateWindowView final : public UpdateWindowView {
public:
    void setNotes(const QString& text, bool html) override
    {
        notes = text;
        notesAreHtml = html;
    }
    void setVersionText(const QString& text) override { versionText = text; }
    void setReleaseDateText(const QString& text) override { releaseDateText = text; }
    bool updateCheckChecked() const override { return checkboxOn; }
    void showDetails() override { ++detailsShown; }
    void closeSheet() override { ++sheetsClosed; }
    void showNewVersionButton() override { newVersionButtonShown = true; }
    void setHomePageAvailable(bool available) override { homePageAvailable = available; }
    void setProgress(bool running, qint64 received, qint64) override
    {
        progressRunning = running;
        lastReceived = received;
        ++progressUpdates;
    }
    void setDownloadAvailable(bool available) override { downloadAvailable = available; }

    QString notes;
    bool notesAreHtml = false;
    QString versionText;
    QString releaseDateText;
    bool checkboxOn = true;
    int detailsShown = 0;
    int sheetsClosed = 0;
    bool newVersionButtonShown = false;
    bool homePageAvailable = false;
    bool progressRunning = false;
    qint64 lastReceived = 0;
    int progressUpdates = 0;
    bool downloadAvailable = false;
};

} // namespace crawlmere::app
