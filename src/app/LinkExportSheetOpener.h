// The export sheet in the main window: the previewer over the window's link views, the sheet,
// the File menu's two "with preview" items and the export control beside the search field.
#pragma once

#include "views/LinkExportPreviewer.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QAction;
class QToolButton;
class ShellPrompts;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::views {
class LinkExportSheet;
class ResultTreeView;
} // namespace crawlmere::views

namespace crawlmere::app {

class MainWindow;
class ResultsController;

/// The menu items `exportPreviewAsHTMLMenuItem` (tag 0) and `exportPreviewAsCSVMenuItem` (tag 2)
/// always open the sheet; the control `exportPreviewButton` (tag 2) exports at once on a tab that
/// is not a link view. The sheet's export runs the results controller's export commands.
///
/// Lifetimes: the window and the results controller must outlive this object (it is made a
/// child of the results controller). Main thread only.
class LinkExportSheetOpener final : public QObject, private views::LinkExportPreviewer::MainWindowViews {
    Q_OBJECT
public:
    static constexpr int kControlTag = 2;

    LinkExportSheetOpener(ResultsController& results, MainWindow& window, std::shared_ptr<ShellPrompts> prompts,
        platform::UserDefaults& defaults);
    ~LinkExportSheetOpener() override;

    views::LinkExportPreviewer& previewer() const { return *m_previewer; }
    views::LinkExportSheet* sheet() const;

private:
    void addMenuItems();
    void addControl();
    views::ResultTreeView* view(int tag) const;

    // MainWindowViews
    QString selectedTabIdentifier() const override;
    void selectTabViewItemWithIdentifier(const QString& identifier) override;
    bool mainBadLinksState() const override;
    void setMainBadLinksState(bool on) override;
    TableView* linkView(int tag) const override;
    const void* notificationObject(int tag) const override;
    int columnWidth(int tag, qsizetype column) const override;
    qfDataSource* tableDataSource(int tag) const override;
    views::OutlineDataSource* outlineDataSource(int tag) const override;
    qsizetype outlineNumberOfRows(int tag) const override;
    qfDataSource::Item outlineItemAtRow(int tag, qsizetype row) const override;
    QString outlineColumnIdentifier(int tag) const override;
    void expandOutlines(bool expand) override;
    std::shared_ptr<qfColumnManager> columnManager(int tag) const override;
    void exportAsHTMLMenuItem() override;
    void exportAsCSVMenuItem() override;

    ResultsController& m_results;
    MainWindow& m_window;
    std::unique_ptr<views::LinkExportPreviewer> m_previewer;
    QPointer<views::LinkExportSheet> m_sheet;
};

} // namespace crawlmere::app
