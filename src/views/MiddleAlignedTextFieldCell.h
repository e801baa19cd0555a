// Vertical centring of a text in its field, without a widget.
#pragma once

#include <QtGlobal>

/// Where a vertically centred text starts.
class MiddleAlignedTextFieldCell {
public:
    /// The y of the title rectangle for a field starting at `boundsY`, `boundsHeight` high, with
    /// a text `textHeight` high: boundsY - 0.5 + (boundsHeight - textHeight) / 2. A text taller
    /// than the field starts above it.
    static qreal titleRectY(qreal boundsY, qreal boundsHeight, qreal textHeight)
    {
        return boundsY - 0.5 + (boundsHeight - textHeight) * 0.5;
    }
};
