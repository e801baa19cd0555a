// The status line's progress line.
#include "views/ProgBarTextFieldCell.h"

std::optional<QRectF> ProgBarTextFieldCell::progressLineRect(float proportion, qreal width, qreal height)
{
    const qreal length = static_cast<qreal>(proportion) * width - 2.0;
    if (!(length > 0.0))
        return std::nullopt;
    return QRectF(1.0, height - 2.0, length, 1.0);
}

QColor ProgBarTextFieldCell::barColour(const std::optional<QColor>& accent)
{
    if (accent && accent->isValid())
        return *accent;
    return fallbackColour();
}
