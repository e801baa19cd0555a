// Builds the insecure-content window and applies its expand-all button.
#include "views/InsecureContentWindow.h"

#include "views/ColumnFitting.h"
#include "views/CutCells.h"
#include "views/InsecureOutlineModel.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

constexpr int kFittedRows = 50;
constexpr int kMaxColumnWidth = 640;
constexpr int kStartingUrlWidth = 420;

} // namespace

InsecureContentWindow::InsecureContentWindow(const reports::CrwlInsecureDataSource& source, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("insecureWindow"));
    setWindowTitle(tr("Insecure content"));
    m_model = new InsecureOutlineModel(source, this);
    m_outline = new QTreeView(this);
    m_outline->setObjectName(QStringLiteral("insecureOutlineView"));
    m_outline->setModel(m_model);
    m_outline->setUniformRowHeights(true);
    cutCellsInTheMiddle(*m_outline);
    m_outline->header()->setStretchLastSection(true);
    m_outline->setColumnWidth(0, kStartingUrlWidth);
    m_expandAll = new QPushButton(tr("Expand all"), this);
    m_expandAll->setObjectName(QStringLiteral("expandAllButton"));
    m_expandAll->setCheckable(true);
    connect(m_expandAll, &QPushButton::toggled, this, [this] { handleExpandInsecureButton(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_outline);
    layout->addWidget(m_expandAll, 0, Qt::AlignLeft);
    resize(900, 500);
}

InsecureContentWindow::~InsecureContentWindow() = default;

void InsecureContentWindow::showWindow()
{
    show();
    raise();
    activateWindow();
    m_model->reload();
    handleExpandInsecureButton();
}

void InsecureContentWindow::handleExpandInsecureButton()
{
    if (m_expandAll->isChecked())
        m_outline->expandAll();
    else
        m_outline->collapseAll();
    // The pages' and the insecure items' addresses read whole, as far as the window allows (an
    // empty list keeps the widths it had).
    if (m_model->rowCount() > 0)
        fitColumnsToRows(*m_outline, *m_outline->header(), kFittedRows, kMaxColumnWidth, Widths::Set);
}

} // namespace crawlmere::views
