#include "views/ProgBarTextFieldCell.h"

#include "views/MiddleAlignedTextFieldCell.h"

#include <gtest/gtest.h>

TEST(ProgBarTextFieldCell, ProgressLineColourAndCentredTextGeometry)
{
    EXPECT_EQ(ProgBarTextFieldCell::progressLineRect(1.0f, 300, 20), QRectF(1, 18, 298, 1));
    EXPECT_EQ(ProgBarTextFieldCell::progressLineRect(0.5f, 300, 20), QRectF(1, 18, 148, 1));
    EXPECT_FALSE(ProgBarTextFieldCell::progressLineRect(0.0f, 300, 20).has_value());
    EXPECT_EQ(ProgBarTextFieldCell::barColour(std::nullopt), QColor::fromRgbF(0.13f, 0.5f, 0.96f));
    EXPECT_EQ(ProgBarTextFieldCell::barColour(QColor(Qt::red)), QColor(Qt::red));
    EXPECT_DOUBLE_EQ(MiddleAlignedTextFieldCell::titleRectY(10, 20, 14), 12.5);
    EXPECT_LT(MiddleAlignedTextFieldCell::titleRectY(10, 20, 30), 10);
}
