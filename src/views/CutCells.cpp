// Middle cuts and whole-text tool tips of table and outline cells.
#include "views/CutCells.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
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
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
            m_field.fontMetrics().elidedText(m_field.text(), Qt::ElideMiddle, room.width()));
        return true;
    }

private:
    QLineEdit& m_field;
};

const char* const kWholeText = "crawlmereWholeText";

// Cuts a label's text anew to its width whenever that changes.
class CutLabelFitter : public QObject {
public:
    explicit CutLabelFitter(QLabel& label)
        : QObject(&label)
        , m_label(label)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_label && event->type() == QEvent::Resize)
            setCutLabelText(m_label, m_label.property(kWholeText).toString());
        return false;
    }

private:
    QLabel& m_label;
};

} // namespace

void showFieldTextFromStart(QLineEdit& field)
{
    QObject::connect(&field, &QLineEdit::textChanged, &field, [&field] {
        if (!field.hasFocus())
            field.setCursorPosition(0);
    });
    field.setCursorPosition(0);
}

void cutFieldInTheMiddle(QLineEdit& field)
{
    showFieldTextFromStart(field);
    field.installEventFilter(new CutFieldPainter(field));
}

void cutLabelInTheMiddle(QLabel& label)
{
    label.setWordWrap(false);
    // The layout gives the label its room whatever the cut text measures, or each cut would
    // shrink it for the next.
    label.setSizePolicy(QSizePolicy::Ignored, label.sizePolicy().verticalPolicy());
    label.installEventFilter(new CutLabelFitter(label));
}

void setCutLabelText(QLabel& label, const QString& text)
{
    label.setProperty(kWholeText, text);
    const int room = label.contentsRect().width() - 2 * label.margin() - 2 * qMax(label.indent(), 0);
    const QString shown = label.fontMetrics().elidedText(text, Qt::ElideMiddle, qMax(room, 0));
    label.setText(shown);
    label.setToolTip(shown == text ? QString() : text);
}

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
