#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include "platform/DialogUnits.h"

using platform::DialogUnits;
using platform::MulDiv;

TEST(MulDivTest, RoundsHalfAwayFromZero)
{
    EXPECT_EQ(MulDiv(7, 6, 4), 11);   // 10.5
    EXPECT_EQ(MulDiv(-7, 6, 4), -11); // -10.5
    EXPECT_EQ(MulDiv(5, 13, 8), 8);   // 8.125
    EXPECT_EQ(MulDiv(3, 13, 8), 5);   // 4.875
    EXPECT_EQ(MulDiv(8, 96, 72), 11); // 10.67: an 8 pt font is 11 px high at 96 dpi
    EXPECT_EQ(MulDiv(9, 96, 72), 12);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(2000000, 2000000, 1000), -1) << "overflow";
}

// Base units 6 x 13 are those of "MS Shell Dlg" 8 pt on a 96 dpi Windows screen; the
// pixel values below are what that dialog manager produces for the login window.
TEST(DialogUnitsTest, ConvertsLikeTheWindowsDialogManager)
{
    const DialogUnits units{6, 13};
    EXPECT_EQ(units.toPixels(QSize(186, 105)), QSize(279, 171));
    EXPECT_EQ(units.toPixels(QRect(60, 10, 101, 14)), QRect(90, 16, 152, 23));
    EXPECT_EQ(units.toPixels(QRect(7, 50, 50, 14)), QRect(11, 81, 75, 23));
    // Position and size are rounded independently, not the right edge.
    EXPECT_EQ(units.toPixels(QRect(1, 1, 1, 1)), QRect(2, 2, 2, 2));
}

TEST(DialogUnitsTest, BaseUnitsComeFromTheFont)
{
    const QFont font = platform::dialogFont(QStringLiteral("MS Shell Dlg"), 8);
    const DialogUnits units = DialogUnits::fromFont(font);
    const QFontMetrics metrics(font);
    const double average =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
        52.0;
    EXPECT_LE(std::abs(units.baseX - average), 0.5 + 1e-9);
    EXPECT_GT(units.baseX, 3);
    EXPECT_EQ(units.baseY, metrics.height());
}

TEST(DialogUnitsTest, MissingFontsGetTheirSubstituteOrTheCjkSans)
{
    for (const char *family : {"MS Shell Dlg", "宋体", "", "No Such Face"}) {
        const QFont font = platform::dialogFont(QString::fromUtf8(family), 9);
        EXPECT_EQ(font.pixelSize(), 12) << family;
        EXPECT_EQ(QFontInfo(font).family(), platform::substituteFamily(QString::fromUtf8(family))) << family;
    }
    EXPECT_EQ(platform::substituteFamily(QString()), platform::fallbackFontFamily());
    EXPECT_EQ(platform::substituteFamily(QStringLiteral("No Such Face")), platform::fallbackFontFamily());
    // With the substitute faces installed (scripts/setup does), the Song faces map to a Ming face.
    if (QFontDatabase::hasFamily(QStringLiteral("AR PL UMing CN")))
        EXPECT_EQ(platform::substituteFamily(QStringLiteral("宋体")), QStringLiteral("AR PL UMing CN"));
    EXPECT_EQ(platform::dialogFont(QStringLiteral("MS Shell Dlg"), 8).pixelSize(), 11);
}
