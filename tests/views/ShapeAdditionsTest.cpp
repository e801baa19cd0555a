#include "views/ShapeAdditions.h"

#include <gtest/gtest.h>

using crawlmere::views::ShapeAdditions;

namespace {

QList<QPointF> pointsOf(const QPainterPath& path)
{
    QList<QPointF> points;
    for (int i = 0; i < path.elementCount(); ++i)
        points.append(path.elementAt(i));
    return points;
}

bool samePath(const QPainterPath& left, const QPainterPath& right)
{
    if (left.elementCount() != right.elementCount())
        return false;
    for (int i = 0; i < left.elementCount(); ++i) {
        if (left.elementAt(i).type != right.elementAt(i).type
            || QPointF(left.elementAt(i)) != QPointF(right.elementAt(i)))
            return false;
    }
    return true;
}

} // namespace

TEST(ShapeAdditionsTest, TrianglesByEdge)
{
    const QRectF box(0, 0, 10, 10);
    const QList<QList<QPointF>> expected {
        { { 0, 0 }, { 0, 10 }, { 10, 5 } },
        { { 0, 0 }, { 10, 0 }, { 5, 10 } },
        { { 10, 0 }, { 10, 10 }, { 0, 5 } },
        { { 0, 10 }, { 10, 10 }, { 5, 0 } },
    };
    for (unsigned edge = 0; edge < 4; ++edge)
        EXPECT_EQ(pointsOf(ShapeAdditions::bezierPathWithTriangleInRect(box, edge)), expected[edge]) << edge;
    EXPECT_TRUE(ShapeAdditions::bezierPathWithTriangleInRect(box, 4).isEmpty());
}

TEST(ShapeAdditionsTest, RoundRectLimitsItsRadiusToHalfTheShorterSide)
{
    // A 200 × 16 label asked for radius 10 gets corners of radius 8: it starts on the left side
    // 8 above the bottom and reaches the bottom side 8 in from the left.
    const QPainterPath label = ShapeAdditions::bezierPathWithRoundRectInRect(QRectF(0, 0, 200, 16), 10);
    EXPECT_EQ(label.boundingRect(), QRectF(0, 0, 200, 16));
    EXPECT_EQ(QPointF(label.elementAt(0)), QPointF(0, 8));
    EXPECT_EQ(QPointF(label.elementAt(3)), QPointF(8, 0));
    EXPECT_FALSE(label.contains(QPointF(0.5, 0.5)));
    EXPECT_TRUE(label.contains(QPointF(100, 0.5)));

    // Radius 0 is the plain rectangle, corners included.
    const QPainterPath plain = ShapeAdditions::bezierPathWithRoundRectInRect(QRectF(2, 3, 20, 10), 0);
    EXPECT_EQ(plain.boundingRect(), QRectF(2, 3, 20, 10));
    EXPECT_TRUE(plain.contains(QPointF(2.2, 3.2)));
}

TEST(ShapeAdditionsTest, ValidRectLowersTheSpacingAndGrowsTheRectangle)
{
    double a = 8, b = 4, spacing = 3;
    const QRectF grown = ShapeAdditions::validRectWithRect(QRectF(0, 0, 16, 8), a, b, spacing);
    EXPECT_EQ(spacing, 1);
    EXPECT_EQ(grown, QRectF(-1, -1, 18, 10));
    EXPECT_DOUBLE_EQ(a, 9);
    EXPECT_DOUBLE_EQ(b, 5);
}

TEST(ShapeAdditionsTest, JaggedShapesFallBackToPlainOnes)
{
    // A pill 4 high: spacing lowered to 0.5, so a plain rounded rectangle grown by 0.5.
    EXPECT_TRUE(samePath(ShapeAdditions::bezierPathWithJaggedPillInRect(QRectF(0, 0, 40, 4), 3),
        ShapeAdditions::bezierPathWithRoundRectInRect(QRectF(-0.5, -0.5, 41, 5), static_cast<float>(2.0 / 40 * 41))));
    // A negative size is normalised first.
    EXPECT_TRUE(samePath(ShapeAdditions::bezierPathWithJaggedPillInRect(QRectF(40, 4, -40, -4), 3),
        ShapeAdditions::bezierPathWithJaggedPillInRect(QRectF(0, 0, 40, 4), 3)));

    QPainterPath oval;
    oval.addEllipse(QRectF(0, 0, 3, 30));
    EXPECT_TRUE(samePath(ShapeAdditions::bezierPathWithJaggedOvalInRect(QRectF(0, 0, 3, 30), 5), oval));
    QPainterPath wide;
    wide.addEllipse(QRectF(0, 0, 30, 30));
    EXPECT_TRUE(samePath(ShapeAdditions::bezierPathWithJaggedOvalInRect(QRectF(0, 0, 30, 30), 2), wide));
}

TEST(ShapeAdditionsTest, JaggedShapesAreClosedRowsOfTeethAroundTheirRectangle)
{
    const QRectF box(0, 0, 120, 40);
    const QPainterPath pill = ShapeAdditions::bezierPathWithJaggedPillInRect(box, 3);
    const QPainterPath oval = ShapeAdditions::bezierPathWithJaggedOvalInRect(box, 3);
    for (const QPainterPath* path : { &pill, &oval }) {
        ASSERT_GT(path->elementCount(), 40);
        for (int i = 1; i < path->elementCount(); ++i)
            EXPECT_TRUE(path->elementAt(i).isLineTo());
        // Closed: the last point is the first; the teeth stay within a few spacings of the box.
        EXPECT_EQ(QPointF(path->elementAt(path->elementCount() - 1)), QPointF(path->elementAt(0)));
        EXPECT_TRUE(box.adjusted(-9, -9, 9, 9).contains(path->boundingRect()));
        EXPECT_TRUE(path->boundingRect().contains(box.adjusted(6, 6, -6, -6)));
        EXPECT_TRUE(path->contains(box.center()));
    }

    // A zero spacing has no teeth: the plain rounded rectangle.
    EXPECT_TRUE(samePath(ShapeAdditions::bezierPathWithJaggedRoundedRectInRect(box, 10, 6, 0),
        ShapeAdditions::bezierPathWithRoundRectInRect(box, 6)));

    std::vector<QPointF> buffer;
    QPainterPath line(QPointF(0, 0));
    ShapeAdditions::jaggedLineToPoint(line, QPointF(10, 0), 2, 1.5, buffer);
    EXPECT_EQ(pointsOf(line), (QList<QPointF> { { 0, 0 }, { 2.5, 1.5 }, { 5, 0 }, { 7.5, 1.5 }, { 10, 0 } }));
    QPainterPath empty;
    ShapeAdditions::jaggedLineToPoint(empty, QPointF(10, 0), 2, 1.5, buffer);
    EXPECT_TRUE(empty.isEmpty());
}
