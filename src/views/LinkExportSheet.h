// The export sheet: a window-modal dialog on the main window that shows a `LinkExportPreviewer`
// and hands it the user's choices.
#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;

namespace crawlmere::views {

class ColumnManagerButton;
class LinkExportPreviewer;

/// Opens and closes when the previewer says so. Controls by object name: `tableSelector` (ids
/// 1 to 4) and `formatSelector` (ids 0 HTML, 2 CSV) button groups, the `badLinksSelector` and
/// `expandRows` check boxes, the preview `tableView`, the row count `tfNumberOfRows`, the
/// progress line `pbctf`, the `exportColumnManager` pop-up and the OK and Cancel buttons
/// (`theSheetOK`, `theSheetCancel`). The previewer must outlive the sheet. Main thread only.
class LinkExportSheet final : public QDialog {
    Q_OBJECT
public:
    LinkExportSheet(LinkExportPreviewer& previewer, QWidget* window);
    ~LinkExportSheet() override;

    QButtonGroup* tableSelector() const { return m_tableSelector; }
    QButtonGroup* formatSelector() const { return m_formatSelector; }
    QCheckBox* badLinksSelector() const { return m_badLinks; }
    QCheckBox* expandRows() const { return m_expandRows; }
    QTreeView* previewTable() const { return m_preview; }
    QLabel* rowCountLabel() const { return m_rowCount; }
    QLabel* progressLine() const { return m_progressLine; }
    ColumnManagerButton* columnManagerButton() const { return m_columns; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    /// Escape and the close box cancel through the previewer.
    void reject() override;

private:
    void showControls();
    void showPreview();

    LinkExportPreviewer& m_previewer;
    QButtonGroup* m_tableSelector;
    QButtonGroup* m_formatSelector;
    QCheckBox* m_badLinks;
    QCheckBox* m_expandRows;
    QTreeView* m_preview;
    QStandardItemModel* m_model;
    QLabel* m_rowCount;
    QLabel* m_progressLine;
    ColumnManagerButton* m_columns;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_updating = false;
};

} // namespace crawlmere::views
