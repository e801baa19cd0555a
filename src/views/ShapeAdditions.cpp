// Outline builders in y-up coordinates: rounded rectangle, triangle and jagged outlines.
#include "views/ShapeAdditions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace crawlmere::views {

namespace {

constexpr double degrees = std::numbers::pi / 180.0;

// Adds a circular arc around `centre` from `fromDegrees` to `toDegrees`, counter-clockwise with
// y up, as cubic segments of at most a quarter turn. The arc is joined to the current point
// with a straight line, or starts the path when it is empty.
void appendArc(QPainterPath& path, QPointF centre, double radius, double fromDegrees, double toDegrees)
{
    const auto pointAt = [&](double angle) {
        return QPointF(
            centre.x() + radius * std::cos(angle * degrees), centre.y() + radius * std::sin(angle * degrees));
    };
    const QPointF start = pointAt(fromDegrees);
    if (path.elementCount() == 0)
        path.moveTo(start);
    else
        path.lineTo(start);
    if (radius <= 0.0)
        return;
    const int segments = std::max(1, static_cast<int>(std::ceil((toDegrees - fromDegrees) / 90.0 - 1e-9)));
    const double sweep = (toDegrees - fromDegrees) / segments;
    const double handle = 4.0 / 3.0 * std::tan(sweep * degrees / 4.0) * radius;
    for (int segment = 0; segment < segments; ++segment) {
        const double a0 = (fromDegrees + segment * sweep) * degrees;
        const double a1 = (fromDegrees + (segment + 1) * sweep) * degrees;
        const QPointF p0 = pointAt(a0 / degrees);
        const QPointF p3 = pointAt(a1 / degrees);
        path.cubicTo(
            p0 + handle * QPointF(-std::sin(a0), std::cos(a0)), p3 - handle * QPointF(-std::sin(a1), std::cos(a1)), p3);
    }
}

// The corner curve of the jagged rectangle, as offsets from the corner's inner point.
QPointF cornerCurve(double a, double b, double t)
{
    const std::array<QPointF, 4> control { QPointF(a, 0), QPointF(a, 0.554 * b), QPointF(0.554 * a, b), QPointF(0, b) };
    const double u = 1.0 - t;
    return u * u * u * control[0] + 3 * u * u * t * control[1] + 3 * u * t * t * control[2] + t * t * t * control[3];
}

double distance(QPointF p, QPointF q) { return std::hypot(q.x() - p.x(), q.y() - p.y()); }

// Tooth count of a straight part of length `length` with teeth `step` apart; `extended` and
// `offset` receive the length rounded up to whole teeth and half the added length.
int straightTeeth(double length, double step, double& extended, double& offset)
{
    offset = 0.0;
    extended = length;
    if (length <= 0.0)
        return 0;
    const double remainder = std::fmod(length, step);
    extended = length + (step - remainder);
    const int whole = static_cast<int>(extended / step);
    offset = (step - remainder) * 0.5;
    return whole + (extended - whole * step > step * 0.5 ? 1 : 0);
}

} // namespace

QRectF ShapeAdditions::normalised(QRectF rect) { return rect.normalized(); }

QPainterPath ShapeAdditions::bezierPathWithRoundRectInRect(QRectF rect, float radius)
{
    const double r = std::max(0.0, std::min<double>(radius, 0.5 * std::min(rect.width(), rect.height())));
    const QRectF inner = rect.adjusted(r, r, -r, -r);
    QPainterPath path;
    appendArc(path, QPointF(inner.left(), inner.top()), r, 180, 270);
    appendArc(path, QPointF(inner.right(), inner.top()), r, 270, 360);
    appendArc(path, QPointF(inner.right(), inner.bottom()), r, 0, 90);
    appendArc(path, QPointF(inner.left(), inner.bottom()), r, 90, 180);
    path.closeSubpath();
    return path;
}

QPainterPath ShapeAdditions::bezierPathWithTriangleInRect(QRectF rect, unsigned edge)
{
    const double x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();
    std::array<QPointF, 3> points;
    switch (edge) {
    case 0:
        points = { QPointF(x, y), QPointF(x, y + h), QPointF(x + w, y + h / 2) };
        break;
    case 1:
        points = { QPointF(x, y), QPointF(x + w, y), QPointF(x + w / 2, y + h) };
        break;
    case 2:
        points = { QPointF(x + w, y), QPointF(x + w, y + h), QPointF(x, y + h / 2) };
        break;
    case 3:
        points = { QPointF(x, y + h), QPointF(x + w, y + h), QPointF(x + w / 2, y) };
        break;
    default:
        return {};
    }
    QPainterPath path(points[0]);
    path.lineTo(points[1]);
    path.lineTo(points[2]);
    return path;
}

QRectF ShapeAdditions::validRectWithRect(QRectF rect, double& a, double& b, double& spacing)
{
    spacing = std::min(spacing, 0.25 * std::min(a, b));
    const double widthShare = rect.width() != 0.0 ? a / rect.width() : 0.0;
    const double heightShare = rect.height() != 0.0 ? b / rect.height() : 0.0;
    const QRectF grown = rect.adjusted(-spacing, -spacing, spacing, spacing);
    a = widthShare * grown.width();
    b = heightShare * grown.height();
    return grown;
}

void ShapeAdditions::jaggedLineToPoint(
    QPainterPath& path, QPointF end, unsigned teeth, double width, std::vector<QPointF>& buffer)
{
    if (path.elementCount() == 0 || teeth == 0)
        return;
    const QPointF start = path.currentPosition();
    const QPointF delta = end - start;
    const QPointF step = delta / teeth;
    const double length = std::hypot(delta.x(), delta.y());
    const QPointF offset = length > 0.0 ? width * QPointF(delta.y() / length, delta.x() / length) : QPointF();
    buffer.resize(2 * static_cast<size_t>(teeth));
    QPointF current = start;
    for (unsigned tooth = 0; tooth < teeth; ++tooth) {
        buffer[2 * tooth] = current + offset + step / 2;
        current += step;
        buffer[2 * tooth + 1] = current;
    }
    for (const QPointF& point : buffer)
        path.lineTo(point);
}

QPainterPath ShapeAdditions::bezierPathWithJaggedPillInRect(QRectF rect, float spacing)
{
    const QRectF box = normalised(rect);
    const double shorter = box.height() > 0.0 && box.width() / box.height() > 1.0 ? box.height() : box.width();
    double a = 0.5 * shorter;
    double b = a;
    double s = spacing;
    const QRectF grown = validRectWithRect(box, a, b, s);
    if (s < 1.0)
        return bezierPathWithRoundRectInRect(grown, static_cast<float>(a));
    return bezierPathWithJaggedRoundedRectInRect(grown, a, b, s);
}

QPainterPath ShapeAdditions::bezierPathWithJaggedOvalInRect(QRectF rect, float spacing)
{
    const QRectF box = normalised(rect);
    QPainterPath path;
    if (box.width() >= 4.0 && spacing >= 3.0f && box.height() >= 4.0) {
        double a = box.width() * 0.5;
        double b = box.height() * 0.5;
        double s = spacing;
        const QRectF grown = validRectWithRect(box, a, b, s);
        if (s >= 2.0)
            return bezierPathWithJaggedRoundedRectInRect(grown, a, b, s);
        path.addEllipse(grown);
        return path;
    }
    path.addEllipse(box);
    return path;
}

QPainterPath ShapeAdditions::bezierPathWithJaggedRoundedRectInRect(QRectF rect, double a, double b, double spacing)
{
    const double x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();

    // Chord table of the corner curve at t = 0, 0.1 … 1.0.
    std::array<QPointF, 11> samples;
    std::array<double, 11> runningLength {};
    for (int i = 0; i <= 10; ++i)
        samples[i] = cornerCurve(a, b, i * 0.1);
    for (int i = 1; i <= 10; ++i)
        runningLength[i] = runningLength[i - 1] + distance(samples[i - 1], samples[i]);
    const double cornerLength = runningLength[10];

    if (!(spacing > 0.0))
        return bezierPathWithRoundRectInRect(rect, static_cast<float>(std::min(a, b)));
    long teeth = static_cast<long>(cornerLength / spacing);
    if (teeth < 0)
        teeth = 1;
    if (teeth == 0)
        return bezierPathWithRoundRectInRect(rect, static_cast<float>(std::min(a, b)));
    const double step = cornerLength / teeth;

    double extendedH = 0.0, offsetH = 0.0, extendedV = 0.0, offsetV = 0.0;
    const int horizontalTeeth = straightTeeth(2 * (w * 0.5 - a), step, extendedH, offsetH);
    const int verticalWhole = straightTeeth(2 * (h * 0.5 - b), step, extendedV, offsetV);
    const int verticalTeeth = verticalWhole == 0 ? 0 : verticalWhole + 1;

    // One corner's teeth as offsets: the tip, then the on-curve point, for each tooth.
    std::vector<QPointF> corner;
    corner.reserve(2 * static_cast<size_t>(teeth));
    QPointF previous = samples[0];
    for (long tooth = 1; tooth <= teeth; ++tooth) {
        QPointF onCurve = samples[10];
        if (tooth < teeth) {
            const double along = tooth * step;
            int chord = 0;
            while (chord < 9 && runningLength[chord + 1] <= along)
                ++chord;
            const double chordLength = runningLength[chord + 1] - runningLength[chord];
            const double fraction = chordLength > 0.0 ? (along - runningLength[chord]) / chordLength : 0.0;
            onCurve = cornerCurve(a, b, (chord + fraction) * 0.1);
        }
        const QPointF chordVector = onCurve - previous;
        corner.push_back((previous + onCurve) / 2 + QPointF(-chordVector.y(), chordVector.x()));
        corner.push_back(onCurve);
        previous = onCurve;
    }

    const double cx = x + w / 2, cy = y + h / 2;
    const auto cornerPoints = [&](double signX, double signY, bool reversed) {
        const QPointF inner(cx + signX * extendedH / 2, cy + signY * extendedV / 2);
        std::vector<QPointF> points;
        points.reserve(corner.size());
        for (const QPointF& offset : corner)
            points.push_back(inner + QPointF(signX * offset.x(), signY * offset.y()));
        if (reversed)
            std::reverse(points.begin(), points.end());
        return points;
    };
    const std::vector<QPointF> upperRight = cornerPoints(1, 1, false);
    const std::vector<QPointF> upperLeft = cornerPoints(-1, 1, true);
    const std::vector<QPointF> lowerLeft = cornerPoints(-1, -1, false);
    const std::vector<QPointF> lowerRight = cornerPoints(1, -1, true);

    std::vector<QPointF> scratch;
    QPainterPath path(upperRight.front());
    const auto addPoints = [&](const std::vector<QPointF>& points, size_t from) {
        for (size_t i = from; i < points.size(); ++i)
            path.lineTo(points[i]);
    };
    addPoints(upperRight, 1);
    jaggedLineToPoint(path, upperLeft.front(), static_cast<unsigned>(horizontalTeeth), step, scratch);
    addPoints(upperLeft, 0);
    if (verticalTeeth != 0)
        jaggedLineToPoint(path, lowerLeft.front(), static_cast<unsigned>(verticalTeeth), step, scratch);
    else
        path.lineTo(x - offsetH, cy);
    addPoints(lowerLeft, 0);
    jaggedLineToPoint(path, lowerRight.front(), static_cast<unsigned>(horizontalTeeth), step, scratch);
    addPoints(lowerRight, 0);
    if (verticalTeeth != 0)
        jaggedLineToPoint(path, upperRight.front(), static_cast<unsigned>(verticalTeeth), step, scratch);
    else
        path.lineTo(x + w + offsetH, cy + extendedV / 2);
    path.closeSubpath();
    return path;
}

} // namespace crawlmere::views
