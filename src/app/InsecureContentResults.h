// The insecure-content list as the main window holds it: filled from the hub at a pause or end,
// shown in its own window, exported as flat CSV or HTML.
#pragma once

#include "app/ResultsServices.h"
#include "views/TableExportJob.h"

#include <QPointer>
#include <QString>

#include <memory>

namespace crawlmere::reports {
class CrwlInsecureDataSource;
}

namespace crawlmere::views {
class InsecureContentWindow;
}

namespace crawlmere::app {

/// The window is made the first time the list is shown, as a window of the main window. The
/// services must outlive this object (without prompts or a save panel nothing is beeped or
/// asked). Main thread only.
class InsecureContentResults final {
public:
    explicit InsecureContentResults(const ResultsServices& services);
    ~InsecureContentResults();
    InsecureContentResults(const InsecureContentResults&) = delete;
    InsecureContentResults& operator=(const InsecureContentResults&) = delete;

    reports::CrwlInsecureDataSource& dataSource() const { return *m_source; }
    /// The window once it has been shown; else null.
    views::InsecureContentWindow* window() const;

    /// At a pause or end: the hub's list afresh.
    void populate();
    /// Before a new scan.
    void clear();
    /// The list (filled first if it is empty) in its window.
    void showWindow(bool viewsRequireRefresh);
    /// The window goes (it shows the data source, which goes with this object).
    void deleteWindow();
    /// The list as flat CSV or HTML through the save panel; nothing when the list is empty.
    void exportAs(TableExportJob::Format format);
    /// Asks the save panel for an insecure-content file of `fileType`; "" when cancelled.
    QString askForFile(const QString& fileType) const;

private:
    const ResultsServices m_services;
    std::unique_ptr<reports::CrwlInsecureDataSource> m_source;
    QPointer<views::InsecureContentWindow> m_window;
};

} // namespace crawlmere::app
