// Outline builders for the result views: a rounded rectangle, a triangle and jagged outlines,
// built in y-up coordinates as Qt painter paths.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <vector>

namespace crawlmere::views {

/// Every builder answers a new path in the coordinates it was given, read with y growing
/// upwards (so "min y" is the bottom edge). A shape that is symmetric about its rectangle's
/// middle (the rounded rectangle, the oval) draws the same in Qt's y-down widget space; the
/// others must be flipped by the caller. No builder needs a display. Any thread.
class ShapeAdditions {
public:
    /// A pill whose border is a row of teeth. A negative size is normalised first. When the
    /// spacing, lowered to a quarter of the end radius, ends below 1.0, the answer is the plain
    /// rounded rectangle of the rectangle grown by that spacing.
    static QPainterPath bezierPathWithJaggedPillInRect(QRectF rect, float spacing);

    /// An oval whose border is a row of teeth. A rectangle narrower or lower than 4.0, or a
    /// spacing below 3.0, gives the plain oval in the normalised rectangle; a spacing that ends
    /// below 2.0 after lowering gives the plain oval in the grown rectangle.
    static QPainterPath bezierPathWithJaggedOvalInRect(QRectF rect, float spacing);

    /// A triangle whose base lies on the side named by `edge` (0 min x, 1 min y, 2 max x, 3 max
    /// y) with its apex at the middle of the opposite side; not closed. Other edge codes give an
    /// empty path.
    static QPainterPath bezierPathWithTriangleInRect(QRectF rect, unsigned edge);

    /// A rounded rectangle whose radius is limited to half the shorter side (a capsule then);
    /// radius 0 gives the plain rectangle, a negative radius counts as 0. Closed.
    static QPainterPath bezierPathWithRoundRectInRect(QRectF rect, float radius);

    /// Lowers `spacing` to a quarter of the smaller radius, grows the rectangle by it on every
    /// side and scales `a` and `b` with the grown size. Writes the three values back.
    static QRectF validRectWithRect(QRectF rect, double& a, double& b, double& spacing);

    /// Adds `teeth` teeth of height `width` from the path's current point to `end`, as straight
    /// lines through `buffer` (resized to 2 × teeth points). Nothing on an empty path or with no
    /// teeth.
    static void jaggedLineToPoint(
        QPainterPath& path, QPointF end, unsigned teeth, double width, std::vector<QPointF>& buffer);

    /// A rounded rectangle with corner radii `a` (horizontal) and `b` (vertical) whose border is a
    /// row of teeth about `spacing` apart. A corner shorter than one spacing, or a spacing that is
    /// not positive, gives the plain rounded rectangle with the smaller radius.
    static QPainterPath bezierPathWithJaggedRoundedRectInRect(QRectF rect, double a, double b, double spacing);

    /// The rectangle with a positive width and height (a negative size moves the origin by it).
    static QRectF normalised(QRectF rect);
};

} // namespace crawlmere::views
