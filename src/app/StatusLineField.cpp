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

namespace {

QRect textRectOf(const QWidget& field) { return field.rect().adjusted(2, 0, -2, -2); }

} // namespace

QString StatusLineField::shownText() const
{
    return fontMetrics().elidedText(m_text, Qt::ElideMiddle, textRectOf(*this).width());
}

void StatusLineField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRectOf(*this), Qt::AlignVCenter | Qt::AlignLeft, shownText());
    if (const auto line = ProgBarTextFieldCell::progressLineRect(m_cell.proportion(), width(), height())) {
        const QColor highlight = palette().color(QPalette::Highlight);
        painter.fillRect(
            *line, ProgBarTextFieldCell::barColour(highlight.isValid() ? std::optional(highlight) : std::nullopt));
    }
}

} // namespace crawlmere::app
