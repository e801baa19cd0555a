// Middle cuts and whole-text tool tips of table and outline cells.
#include "views/CutCells.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>

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

// The room a line edit gives its text: the style's contents rectangle less its margins (the
// two pixels a side QLineEdit keeps besides).
QRect fieldTextRect(const QLineEdit& field, QStyleOptionFrame& panel)
{
    panel.initFrom(&field);
    panel.rect = field.contentsRect();
    panel.lineWidth = field.hasFrame() ? field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, &field) : 0;
    panel.midLineWidth = 0;
    panel.state |= QStyle::State_Sunken;
    if (field.isReadOnly())
        panel.state |= QStyle::State_ReadOnly;
    const QMargins margins = field.textMargins();
    return field.style()
        ->subElementRect(QStyle::SE_LineEditContents, &panel, &field)
        .marginsRemoved(margins)
        .adjusted(2, 0, -2, 0);
}

bool fieldTextIsCut(const QLineEdit& field)
{
    QStyleOptionFrame panel;
    return !field.hasFocus()
        && field.fontMetrics().horizontalAdvance(field.text()) > fieldTextRect(field, panel).width();
}

// `text` cut in the middle to `width` pixels; an address keeps its scheme and host whole where
// that leaves half as much again for the rest of it, so that addresses that differ at their end
// still read apart.
QString cutAddress(const QString& text, const QFontMetrics& metrics, int width)
{
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    const qsizetype hostEnd = scheme > 0 ? text.indexOf(u'/', scheme + 3) : -1;
    if (hostEnd > 0 && metrics.horizontalAdvance(text) > width) {
        const QString host = text.left(hostEnd);
        const int hostWidth = metrics.horizontalAdvance(host);
        if (width - hostWidth >= hostWidth / 2)
            return host + metrics.elidedText(text.mid(hostEnd), Qt::ElideMiddle, width - hostWidth);
    }
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

// The room the style gives a cell's text: its width less the margin kept on each side.
int cellTextRoom(const QWidget* view, int cellWidth)
{
    const QStyle* style = view ? view->style() : QApplication::style();
    return cellWidth - 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
}

// Cuts an address too long for its cell after its host (see `cutAddress`); other texts as the
// view cuts them.
class AddressCutDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shown = option;
        initStyleOption(&shown, index);
        if (shown.text.contains(QLatin1String("://")))
            shown.text = cutAddress(shown.text, shown.fontMetrics, cellTextRoom(shown.widget, shown.rect.width()));
        const QWidget* widget = shown.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawControl(QStyle::CE_ItemViewItem, &shown, painter, widget);
    }
};

// Draws an unfocused field whose text does not fit with the text cut in the middle, and gives
// its whole text as tool tip.
class CutFieldPainter : public QObject {
public:
    explicit CutFieldPainter(QLineEdit& field)
        : QObject(&field)
        , m_field(field)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_field || !fieldTextIsCut(m_field))
            return false;
        if (event->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), m_field.text(), &m_field);
            return true;
        }
        if (event->type() != QEvent::Paint)
            return false;
        QPainter painter(&m_field);
        QStyleOptionFrame panel;
        const QRect room = fieldTextRect(m_field, panel);
        if (m_field.hasFrame())
            m_field.style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, &m_field);
        painter.setPen(
            m_field.palette().color(m_field.isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        painter.drawText(
            room, Qt::AlignLeft | Qt::AlignVCenter, cutAddress(m_field.text(), m_field.fontMetrics(), room.width()));
        return true;
    }

private:
    QLineEdit& m_field;
};

} // namespace

void showFieldTextFromStart(QLineEdit& field)
{
    // Setting a text moves the cursor to its end, even a text the field already holds (which
    // changes nothing else); the user moves it only in a focused field.
    QObject::connect(&field, &QLineEdit::cursorPositionChanged, &field, [&field] {
        if (!field.hasFocus() && field.cursorPosition() != 0)
            field.setCursorPosition(0);
    });
    field.setCursorPosition(0);
}

void cutFieldInTheMiddle(QLineEdit& field)
{
    showFieldTextFromStart(field);
    field.installEventFilter(new CutFieldPainter(field));
}

QString shownCellText(const QAbstractItemView& view, const QModelIndex& cell)
{
    const QString text = cell.data(Qt::DisplayRole).toString();
    const QVariant font = cell.data(Qt::FontRole);
    const QFontMetrics metrics(font.isValid() ? font.value<QFont>() : view.font());
    const int room = cellTextRoom(&view, view.visualRect(cell).width());
    if (room <= 0)
        return {};
    if (dynamic_cast<const AddressCutDelegate*>(view.itemDelegateForIndex(cell)) && text.contains(QLatin1String("://")))
        return cutAddress(text, metrics, room);
    return metrics.elidedText(text, view.textElideMode(), room);
}

QString shownFieldText(const QLineEdit& field)
{
    QStyleOptionFrame panel;
    const QRect room = fieldTextRect(field, panel);
    const auto children = field.children();
    const bool cuts = std::any_of(
        children.cbegin(), children.cend(), [](QObject* child) { return dynamic_cast<CutFieldPainter*>(child); });
    if (cuts && fieldTextIsCut(field))
        return cutAddress(field.text(), field.fontMetrics(), room.width());
    // cursorPositionAt only reads, though it is not declared const.
    auto& reading = const_cast<QLineEdit&>(field);
    const int middle = room.center().y();
    const int first = reading.cursorPositionAt(QPoint(room.left() + 1, middle));
    const int last = reading.cursorPositionAt(QPoint(room.right(), middle));
    return field.text().mid(first, last - first);
}

void cutCellsInTheMiddle(QAbstractItemView& view)
{
    // One line a cell: a wrapped text would be cut at its bottom instead.
    if (auto* table = qobject_cast<QTableView*>(&view))
        table->setWordWrap(false);
    else if (auto* tree = qobject_cast<QTreeView*>(&view))
        tree->setWordWrap(false);
    view.setTextElideMode(Qt::ElideMiddle);
    // The plain delegate gives way to one that keeps an address's host; a view's own stays.
    if (view.itemDelegate() && qstrcmp(view.itemDelegate()->metaObject()->className(), "QStyledItemDelegate") == 0)
        view.setItemDelegate(new AddressCutDelegate(&view));
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
