// The export sheet's controller: which link view and format to export, bad links only, expanded
// outlines, the preview's columns and first rows, the row count and the large-export warning.
#pragma once

#include "engine/TableView.h"
#include "engine/qfDataSource.h"

#include <QList>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>

class ExportColumnManager;
class ShellPrompts;
struct ShellAlert;
class qfColumnManager;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::views {

class OutlineDataSource;

/// Display-free: the sheet widget shows its state and hands it the user's actions. The sheet's
/// controls change the main window as they go (the chosen view becomes the selected tab, the
/// bad-links check box is the main window's filter, expanding rows expands the main outlines),
/// so the export, which exports what the main window shows, follows the sheet.
///
/// View tags: 1 by link, 2 by page, 3 by status, 4 flat. Format tags: 0 HTML, 2 CSV; any other
/// exports nothing. The previewer is also the preview table (`TableView`): its columns are copies
/// of the chosen view's, and the sheet's column manager works on them.
///
/// Lifetimes: the main window's views object and the prompts must outlive the previewer. Main
/// thread only.
class LinkExportPreviewer final : public QObject, public TableView {
    Q_OBJECT
public:
    /// More rows than this ask before exporting.
    static constexpr qsizetype kLargeExportRows = 64000;
    /// The preview shows at most this many rows.
    static constexpr qsizetype kPreviewRows = 3;

    /// The main window as the sheet sees it: its tabs, its bad-links button, the four link views
    /// with their data sources and column managers, and the export commands. Main thread only.
    class MainWindowViews {
    public:
        virtual ~MainWindowViews() = default;
        virtual QString selectedTabIdentifier() const = 0;
        virtual void selectTabViewItemWithIdentifier(const QString& identifier) = 0;
        virtual bool mainBadLinksState() const = 0;
        /// The main bad-links button takes `on`, `badLinksOnly` follows and every link view is
        /// refiltered.
        virtual void setMainBadLinksState(bool on) = 0;
        /// The view of tag 1 to 4; null for any other tag.
        virtual TableView* linkView(int tag) const = 0;
        /// The object the view posts its reload notification with (null for an unknown tag).
        virtual const void* notificationObject(int tag) const = 0;
        /// The width of the `column`-th column of `linkView(tag)->tableColumns()`.
        virtual int columnWidth(int tag, qsizetype column) const = 0;
        /// Tags 1 and 4: the table's data source; else null.
        virtual qfDataSource* tableDataSource(int tag) const = 0;
        /// Tags 2 and 3: the outline's data source; else null.
        virtual OutlineDataSource* outlineDataSource(int tag) const = 0;
        /// Tags 2 and 3: the rows the outline shows now, children of expanded rows included.
        virtual qsizetype outlineNumberOfRows(int tag) const = 0;
        /// Tags 2 and 3: the item shown at `row`; null out of range.
        virtual qfDataSource::Item outlineItemAtRow(int tag, qsizetype row) const = 0;
        /// Tags 2 and 3: the identifier of the column that holds the disclosure triangles.
        virtual QString outlineColumnIdentifier(int tag) const = 0;
        /// Expands (true) or collapses every row of the by-page and by-status outlines.
        virtual void expandOutlines(bool expand) = 0;
        /// Tags 1 and 4: the view's column manager; else null.
        virtual std::shared_ptr<qfColumnManager> columnManager(int tag) const = 0;
        virtual void exportAsHTMLMenuItem() = 0;
        virtual void exportAsCSVMenuItem() = 0;
    };

    /// The sheet's controls that `handleControl` answers.
    enum class Control { BadLinksSelector, ExpandRows, TableSelector };

    /// Observes the reload notifications of every table and outline and the export's finish, for
    /// the whole life of the previewer. `defaults` null: the standard store.
    LinkExportPreviewer(MainWindowViews& views, std::shared_ptr<ShellPrompts> prompts,
        platform::UserDefaults* defaults = nullptr, QObject* parent = nullptr);
    ~LinkExportPreviewer() override;

    // ===== Actions =============================================================================
    /// showPreview: from a menu item (`fromMenuItem`) or the window's control, tagged 0 or 2. The
    /// control exports at once while tab "5", "6", "7", "10" or "11" is shown; otherwise the
    /// sheet opens (`sheetShouldOpen`) with the sender's format.
    void showPreview(int formatTag, bool fromMenuItem);
    /// The sheet is on screen: the once-per-opening reset (the flat view, bad links as the main
    /// button, expand rows off and disabled, progress 0), then `windowDidBecomeKey`.
    void sheetDidShow();
    /// windowDidBecomeKey: refreshes the row count and the preview's columns.
    void windowDidBecomeKey();
    /// handleControl: the check boxes give 0 or 1, the view selector its tag.
    void handleControl(Control control, int value);
    /// The format radio buttons.
    void setFormatTag(int tag);
    /// theSheetOK: asks first when more than `kLargeExportRows` rows would be written (never with
    /// bad links only); "Cancel" keeps the sheet open as it is. Otherwise the sheet ends from the
    /// event loop with return code 1, which exports.
    void theSheetOK();
    /// The question `theSheetOK` asks: "Cancel" (also Escape) or "Continue".
    static ShellAlert largeExportAlert();
    /// theSheetCancel: the sheet ends from the event loop with return code 0.
    void theSheetCancel();
    /// go: the export command of the format tag; nothing for another tag.
    void go();

    // ===== State the sheet shows ================================================================
    bool isSheetOpen() const { return m_sheetOpen; }
    bool needsInitialisation() const { return m_needsInitialisation; }
    int tableTag() const { return m_tableTag; }
    int formatTag() const { return m_formatTag; }
    bool badLinksSelected() const { return m_badLinks; }
    bool expandRowsSelected() const { return m_expandRows; }
    bool expandRowsEnabled() const { return m_expandRowsEnabled; }
    bool columnPopUpEnabled() const { return m_columnPopUpEnabled; }
    float progress() const { return m_progress; }
    /// "%i row" or "%i rows".
    QString rowInfo() const { return m_rowInfo; }
    const std::shared_ptr<ExportColumnManager>& exportColumnManager() const { return m_exportColumns; }

    /// numberOfRows: the chosen view's rows (an outline's count is kept until it reloads).
    qsizetype numberOfRows();
    /// The preview's rows: the smaller of `numberOfRows` and `kPreviewRows`.
    qsizetype numberOfPreviewRows();
    /// The text of the preview's cell: the chosen view's data source's value, "" when none; an
    /// outline's child row gets "\t" before its outline-column text.
    QString previewValue(qsizetype row, qsizetype column);
    /// The preview column widths, in `tableColumns()` order.
    const QList<int>& previewColumnWidths() const { return m_widths; }

    // TableView: the preview table.
    QList<TableColumn> tableColumns() const override { return m_columns; }
    void setColumnHidden(qsizetype column, bool hidden) override;
    void reloadData() override;

Q_SIGNALS:
    void sheetShouldOpen();
    void sheetShouldClose();
    /// Any control's state or the progress changed.
    void controlsChanged();
    /// The preview's columns or rows changed.
    void previewChanged();
    void rowInfoChanged();

private:
    void updateRowInfo();
    void updateColumns();
    void updateColumnManager();
    void endSheet(int returnCode);
    void viewDidReload(const void* sender);
    TableView* activeView() const;

    MainWindowViews& m_views;
    std::shared_ptr<ShellPrompts> m_prompts;
    std::shared_ptr<ExportColumnManager> m_exportColumns;
    QList<TableColumn> m_columns;
    QList<int> m_widths;
    std::map<int, qsizetype> m_outlineRows;
    QString m_rowInfo;
    int m_tableTag = 4;
    int m_formatTag = 0;
    float m_progress = 0.0f;
    bool m_sheetOpen = false;
    bool m_needsInitialisation = false;
    bool m_badLinks = false;
    bool m_expandRows = false;
    bool m_expandRowsEnabled = false;
    bool m_columnPopUpEnabled = true;
};

} // namespace crawlmere::views
