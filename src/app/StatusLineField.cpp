// The main window's status line.
#include "app/StatusLineField.h"

#include <QPainter>

namespace crawlmere::app {

StatusLineField::StatusLineField(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("status"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatusLineField::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(text);
    update();
}

void StatusLineField::setProportion(float proportion)
{
    if (proportion == m_cell.proportion())
        return;
    m_cell.setProportion(proportion);
    update();
}

QSize StatusLineField::sizeHint() const { return { 200, fontMetrics().height() + 6 }; }

void StatusLineField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect textRect = rect().adjusted(2, 0, -2, -2);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(
        textRect, Qt::AlignVCenter | Qt::AlignLeft, fontMetrics().elidedText(m_text, Qt::ElideRight, textRect.width()));
    if (const auto line = ProgBarTextFieldCell::progressLineRect(m_cell.proportion(), width(), height())) {
        const QColor highlight = palette().color(QPalette::Highlight);
        painter.fillRect(
            *line, ProgBarTextFieldCell::barColour(highlight.isValid() ? std::optional(highlight) : std::nullopt));
    }
}

} // namespace crawlmere::app
