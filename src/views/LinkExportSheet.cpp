// The export sheet's widgets over its previewer.
#include "views/LinkExportSheet.h"

#include "views/ColumnFitting.h"
#include "views/ColumnManagerButton.h"
#include "views/CutCells.h"
#include "views/ExportColumnManager.h"
#include "views/LinkExportPreviewer.h"
#include "views/ProgBarTextFieldCell.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

// The preview's columns share its width by what its rows hold; none is wider than this.
constexpr int kPreviewFittedRows = 50;
constexpr int kPreviewMaxColumnWidth = 4000;

/// A thin field that draws the export's progress line.
class ProgressLineLabel final : public QLabel {
public:
    using QLabel::QLabel;
    ProgBarTextFieldCell cell;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        const auto line = ProgBarTextFieldCell::progressLineRect(cell.proportion(), width(), height());
        if (!line)
            return;
        QPainter painter(this);
        painter.fillRect(*line, ProgBarTextFieldCell::barColour(palette().color(QPalette::Highlight)));
    }
};

QButtonGroup* radioGroup(QWidget* owner, const QString& name, const QString& title,
    const QList<std::pair<int, QString>>& choices, QBoxLayout* into)
{
    auto* box = new QGroupBox(title, owner);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(owner);
    group->setObjectName(name);
    for (const auto& [id, label] : choices) {
        auto* button = new QRadioButton(label, box);
        group->addButton(button, id);
        layout->addWidget(button);
    }
    into->addWidget(box);
    return group;
}

} // namespace

LinkExportSheet::LinkExportSheet(LinkExportPreviewer& previewer, QWidget* window)
    : QDialog(window)
    , m_previewer(previewer)
{
    setObjectName(QStringLiteral("panel"));
    setWindowTitle(tr("Export"));
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    auto* choices = new QHBoxLayout;
    m_tableSelector = radioGroup(this, QStringLiteral("tableSelector"), tr("View"),
        { { 1, tr("By link") }, { 2, tr("By page") }, { 3, tr("By status") }, { 4, tr("Flat") } }, choices);
    m_formatSelector
        = radioGroup(this, QStringLiteral("formatSelector"), tr("Format"), { { 0, tr("HTML") }, { 2, tr("CSV") } }, choices);
    auto* options = new QVBoxLayout;
    m_badLinks = new QCheckBox(tr("Bad links only"), this);
    m_badLinks->setObjectName(QStringLiteral("badLinksSelector"));
    m_expandRows = new QCheckBox(tr("Expand rows"), this);
    m_expandRows->setObjectName(QStringLiteral("expandRows"));
    m_columns = new ColumnManagerButton(previewer.exportColumnManager(), this);
    m_columns->setObjectName(QStringLiteral("exportColumnManager"));
    options->addWidget(m_badLinks);
    options->addWidget(m_expandRows);
    options->addWidget(m_columns);
    options->addStretch();
    choices->addLayout(options);
    layout->addLayout(choices);

    m_preview = new QTreeView(this);
    m_preview->setObjectName(QStringLiteral("tableView"));
    m_preview->setRootIsDecorated(false);
    m_preview->setUniformRowHeights(true);
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->header()->setSectionsMovable(false);
    // Wide enough for an address's host and the end that tells it apart.
    m_preview->setMinimumSize(760, 110);
    // Addresses that differ at their end read apart, whole in a tool tip.
    cutCellsInTheMiddle(*m_preview);
    m_model = new QStandardItemModel(this);
    m_preview->setModel(m_model);
    layout->addWidget(m_preview);

    auto* progress = new ProgressLineLabel(this);
    progress->setObjectName(QStringLiteral("pbctf"));
    progress->setFixedHeight(4);
    m_progressLine = progress;
    layout->addWidget(m_progressLine);
    m_rowCount = new QLabel(this);
    m_rowCount->setObjectName(QStringLiteral("tfNumberOfRows"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_rowCount, 1);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("theSheetCancel"));
    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("theSheetOK"));
    m_ok->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);

    connect(m_tableSelector, &QButtonGroup::idClicked, this, [this](int id) {
        if (!m_updating)
            m_previewer.handleControl(LinkExportPreviewer::Control::TableSelector, id);
    });
    connect(m_formatSelector, &QButtonGroup::idClicked, this, [this](int id) {
        if (!m_updating)
            m_previewer.setFormatTag(id);
    });
    connect(m_badLinks, &QCheckBox::clicked, this, [this](bool on) {
        m_previewer.handleControl(LinkExportPreviewer::Control::BadLinksSelector, on ? 1 : 0);
    });
    connect(m_expandRows, &QCheckBox::clicked, this, [this](bool on) {
        m_previewer.handleControl(LinkExportPreviewer::Control::ExpandRows, on ? 1 : 0);
    });
    connect(m_ok, &QPushButton::clicked, &m_previewer, &LinkExportPreviewer::theSheetOK);
    connect(m_cancel, &QPushButton::clicked, &m_previewer, &LinkExportPreviewer::theSheetCancel);
    connect(&m_previewer, &LinkExportPreviewer::sheetShouldOpen, this, [this] { open(); });
    connect(&m_previewer, &LinkExportPreviewer::sheetShouldClose, this, [this] { QDialog::done(Accepted); });
    connect(&m_previewer, &LinkExportPreviewer::controlsChanged, this, &LinkExportSheet::showControls);
    connect(&m_previewer, &LinkExportPreviewer::previewChanged, this, &LinkExportSheet::showPreview);
    connect(&m_previewer, &LinkExportPreviewer::rowInfoChanged, this, [this] {
        m_rowCount->setText(m_previewer.rowInfo());
        if (isVisible())
            showPreview();
    });
    showControls();
}

LinkExportSheet::~LinkExportSheet() = default;

void LinkExportSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Offscreen platforms and some window managers never activate the sheet: reset on showing.
    m_previewer.sheetDidShow();
}

void LinkExportSheet::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
        m_previewer.windowDidBecomeKey();
}

void LinkExportSheet::reject() { m_previewer.theSheetCancel(); }

void LinkExportSheet::showControls()
{
    m_updating = true;
    if (QAbstractButton* view = m_tableSelector->button(m_previewer.tableTag()))
        view->setChecked(true);
    if (QAbstractButton* format = m_formatSelector->button(m_previewer.formatTag()))
        format->setChecked(true);
    m_badLinks->setChecked(m_previewer.badLinksSelected());
    m_expandRows->setChecked(m_previewer.expandRowsSelected());
    m_expandRows->setEnabled(m_previewer.expandRowsEnabled());
    m_columns->setEnabled(m_previewer.columnPopUpEnabled());
    static_cast<ProgressLineLabel*>(m_progressLine)->cell.setProportion(m_previewer.progress());
    m_progressLine->update();
    m_rowCount->setText(m_previewer.rowInfo());
    m_updating = false;
}

void LinkExportSheet::showPreview()
{
    if (!isVisible())
        return;
    const QList<TableColumn> columns = m_previewer.tableColumns();
    const qsizetype rows = m_previewer.numberOfPreviewRows();
    m_model->clear();
    m_model->setColumnCount(static_cast<int>(columns.size()));
    m_model->setRowCount(static_cast<int>(rows));
    for (int column = 0; column < columns.size(); ++column) {
        m_model->setHeaderData(column, Qt::Horizontal, columns.at(column).title);
        for (int row = 0; row < rows; ++row)
            m_model->setItem(row, column, new QStandardItem(m_previewer.previewValue(row, column)));
    }
    const QList<int>& widths = m_previewer.previewColumnWidths();
    int total = 0;
    for (int column = 0; column < columns.size(); ++column) {
        m_preview->setColumnHidden(column, columns.at(column).hidden);
        if (column < widths.size() && widths.at(column) > 0)
            m_preview->setColumnWidth(column, widths.at(column));
        if (!columns.at(column).hidden)
            total += m_preview->columnWidth(column);
    }
    // The main view's widths, unless they would put columns past the preview's edge.
    if (total > m_preview->viewport()->width())
        fitColumnsToView(*m_preview, *m_preview->header(), kPreviewFittedRows, kPreviewMaxColumnWidth);
}

} // namespace crawlmere::views
