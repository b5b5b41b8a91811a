#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "lists/LineColorListCtrl.h"

namespace {

const QColor White(255, 255, 255);
const QColor Red(218, 46, 22);

class LineColorListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.resize(500, 300);
        list.InsertColumn(0, QStringLiteral("监控的网址（完整网址）"), 180);
        list.InsertColumn(1, QStringLiteral("备注"), 60);
        list.InsertColumn(2, QStringLiteral("提醒方式"), 67);
        for (int r = 0; r < 5; ++r) {
            list.InsertItem(r, QStringLiteral("http://site%1.example.com").arg(r));
            list.SetItemText(r, 1, QStringLiteral("备注%1").arg(r));
        }
        list.show();
    }

    // Background of a cell as painted, away from its text and grid lines.
    QColor painted(int row, int column)
    {
        const QImage image = list.viewport()->grab().toImage();
        const QRect rect = list.visualRect(list.model()->index(row, column));
        return image.pixelColor(rect.right() - 3, rect.center().y());
    }

    CLineColorListCtrl list;
};

TEST_F(LineColorListTest, RowsWithoutEntriesPaintPlain)
{
    const QColor base = list.palette().color(QPalette::Base);
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(painted(r, 2), base) << r;
    EXPECT_FALSE(list.rowColor(3).has_value());
}

TEST_F(LineColorListTest, AColouredRowIsWhiteOnRedInEveryColumn)
{
    list.SetRowColor(3, White, Red);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(painted(3, c), Red) << c;
    EXPECT_EQ(painted(2, 0), list.palette().color(QPalette::Base));
    EXPECT_EQ(list.rowColor(3)->textColor, White);

    list.SetRowColor(3, QColor(0, 0, 0), QColor(0, 128, 0));
    EXPECT_EQ(list.rowColors().size(), 1u) << "setting a row twice keeps one entry";
    EXPECT_EQ(painted(3, 1), QColor(0, 128, 0));

    list.ClearRowColors();
    EXPECT_EQ(painted(3, 1), list.palette().color(QPalette::Base));
}

TEST_F(LineColorListTest, ColoursStayWithThePositionAndIgnoreMissingRows)
{
    list.SetRowColor(1, White, Red);
    list.SetRowColor(40, White, Red);
    list.DeleteAllItems();
    for (int r = 0; r < 3; ++r)
        list.InsertItem(r, QStringLiteral("new%1").arg(r));
    EXPECT_EQ(painted(1, 0), Red);
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(1, 0), QStringLiteral("new1"));
}

TEST_F(LineColorListTest, ClicksReportTheRowAndSetTheSelectionMark)
{
    QSignalSpy clicked(&list, &CLineColorListCtrl::rowClicked);
    QSignalSpy rightClicked(&list, &CLineColorListCtrl::rowRightClicked);
    EXPECT_EQ(list.GetSelectionMark(), -1);
    const QRect row2 = list.visualRect(list.model()->index(2, 1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, row2.center());
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 2);
    EXPECT_EQ(list.GetSelectionMark(), 2);
    EXPECT_EQ(list.GetFirstSelected(), 2);
    EXPECT_EQ(list.GetItemText(list.GetFirstSelected(), 0), QStringLiteral("http://site2.example.com"));

    const QRect last = list.visualRect(list.model()->index(4, 0));
    const QPoint below(last.center().x(), last.bottom() + 20);
    EXPECT_EQ(list.HitTest(below), -1);
    QTest::mousePress(list.viewport(), Qt::RightButton, Qt::NoModifier, below);
    ASSERT_EQ(rightClicked.count(), 1);
    EXPECT_EQ(rightClicked.at(0).at(0).toInt(), -1);
}

TEST_F(LineColorListTest, SelectedRowsKeepTheSelectionColours)
{
    list.SetRowColor(2, White, Red);
    list.selectRow(2);
    EXPECT_NE(painted(2, 0), Red);
}

} // namespace
