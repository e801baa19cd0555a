// The status line's progress line: where it is drawn and in which colour, without a widget.
#pragma once

#include <QColor>
#include <QRectF>

#include <optional>

/// The geometry and colour of the thin line drawn under the status text. The widget that shows
/// the status line draws its text as usual, then fills `progressLineRect` with `barColour`.
class ProgBarTextFieldCell {
public:
    /// The fallback colour when the palette offers no accent (red 0.13, green 0.5, blue 0.96).
    static QColor fallbackColour() { return QColor::fromRgbF(0.13f, 0.5f, 0.96f, 1.0f); }

    /// The 1-point line for `proportion` (0 to 1) of a field `width` by `height`, in the field's
    /// own coordinates: x 1, y height - 2, width proportion x width - 2, height 1. Nothing when
    /// that width is not positive (a proportion of 0 draws no line).
    static std::optional<QRectF> progressLineRect(float proportion, qreal width, qreal height);

    /// The palette's accent (highlight) colour when it has a valid one, else `fallbackColour`.
    static QColor barColour(const std::optional<QColor>& accent);

    float proportion() const { return m_proportion; }
    /// Stores the fraction; the owner redraws.
    void setProportion(float value) { m_proportion = value; }

private:
    float m_proportion = 0.0f;
};
