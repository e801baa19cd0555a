// Middle cuts and whole-text tool tips of table and outline cells.
#include "views/CutCells.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QTableView>
#include <QToolTip>
#include <QTreeView>

namespace crawlmere::views {

namespace {

// Answers the view's tool tip events over a cut cell with the cell's whole text.
class CutCellToolTips : public QObject {
public:
    explicit CutCellToolTips(QAbstractItemView& view)
        : QObject(&view)
        , m_view(view)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip || watched != m_view.viewport())
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = cutCellText(m_view, help->pos());
        if (text.isNull())
            return false;
        QToolTip::showText(help->globalPos(), text, m_view.viewport(), m_view.visualRect(m_view.indexAt(help->pos())));
        return true;
    }

private:
    QAbstractItemView& m_view;
};

} // namespace

void cutCellsInTheMiddle(QAbstractItemView& view)
{
    // One line a cell: a wrapped text would be cut at its bottom instead.
    if (auto* table = qobject_cast<QTableView*>(&view))
        table->setWordWrap(false);
    else if (auto* tree = qobject_cast<QTreeView*>(&view))
        tree->setWordWrap(false);
    view.setTextElideMode(Qt::ElideMiddle);
    view.viewport()->installEventFilter(new CutCellToolTips(view));
}

QString cutCellText(const QAbstractItemView& view, const QPoint& viewportPoint)
{
    const QModelIndex cell = view.indexAt(viewportPoint);
    if (!cell.isValid())
        return {};
    const QString text = cell.data(Qt::DisplayRole).toString();
    if (text.isEmpty() || view.sizeHintForIndex(cell).width() <= view.visualRect(cell).width())
        return {};
    return text;
}

} // namespace crawlmere::views
