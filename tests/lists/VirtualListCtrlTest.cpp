#include <gtest/gtest.h>

#include <set>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include "platform/DialogUnits.h"
#include "records/CtrlData.h"
#include "lists/VirtualListCtrl.h"
#include "tests/support/RecordingServices.h"
#include "res/Resources.h"

namespace {

struct Row {
    QString c0, c1, c2, c3;
};

struct HandlerCall {
    const char *handler;
    Cell cell;
};

class RecordingOwner : public IListCommandHandler {
public:
    void openHandler(CVirtualListCtrl &list, Cell cell) override { record("open", list, cell); }
    void searchAdsHandler(CVirtualListCtrl &list, Cell cell) override { record("ads", list, cell); }
    void searchJumpHandler(CVirtualListCtrl &list, Cell cell) override { record("jump", list, cell); }
    void searchHistoryHandler(CVirtualListCtrl &list, Cell cell) override { record("history", list, cell); }

    std::vector<HandlerCall> calls;
    const CVirtualListCtrl *lastList = nullptr;

private:
    void record(const char *name, CVirtualListCtrl &list, Cell cell)
    {
        calls.push_back(HandlerCall{name, cell});
        lastList = &list;
    }
};

QString cellName(int row, int column)
{
    return QStringLiteral("r%1c%2").arg(row).arg(column);
}

std::set<Cell> asSet(const std::vector<Cell> &cells)
{
    return std::set<Cell>(cells.begin(), cells.end());
}

class VirtualListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int r = 0; r < 6; ++r)
            rows.push_back(Row{cellName(r, 0), cellName(r, 1), cellName(r, 2), cellName(r, 3)});
        list.setServices(fake.services());
        list.setCommandHandler(&owner);
        list.resize(560, 320);
        list.SetColumns(
            {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙"), QStringLiteral("丁")},
            {120, 120, 120, 120});
        list.SetData(&adapter);
        list.show();
        QApplication::setActiveWindow(&list);
    }

    QPoint centre(Cell cell) const { return list.cellRect(cell).center(); }
    void click(Cell cell, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, centre(cell));
    }
    void rightClick(const QPoint &pos)
    {
        QTest::mousePress(list.viewport(), Qt::RightButton, Qt::NoModifier, pos);
    }
    void clickHeader(int column)
    {
        QHeaderView *header = list.header();
        const QPoint pos(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                         header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }
    QString copied()
    {
        QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
        return fake.clipboard.text();
    }
    QStringList column(int c) const
    {
        QStringList texts;
        for (int r = 0; r < adapter.GetCount(); ++r)
            texts << adapter.GetText(r, c);
        return texts;
    }
    QColor paintedBackground(Cell cell)
    {
        const QImage image = list.viewport()->grab().toImage();
        const QRect rect = list.cellRect(cell);
        // Right part of the cell: inside the fill, away from text and grid lines.
        return image.pixelColor(rect.right() - 4, rect.center().y());
    }

    std::vector<Row> rows;
    CtrlData<Row> adapter{&rows, {&Row::c0, &Row::c1, &Row::c2, &Row::c3}};
    platform::RecordingServices fake;
    RecordingOwner owner;
    CVirtualListCtrl list;
};

TEST_F(VirtualListTest, ClickSelectsOneCellAndCopiesExactlyItsText)
{
    click(Cell{2, 1});
    EXPECT_EQ(list.state().selectedCells, std::vector<Cell>{Cell(2, 1)});
    EXPECT_TRUE(list.hasFocus());
    EXPECT_EQ(copied(), QStringLiteral("r2c1"));

    click(Cell{4, 3});
    EXPECT_EQ(list.state().selectedCells, std::vector<Cell>{Cell(4, 3)})
        << "a plain click replaces the selection";
}

TEST_F(VirtualListTest, ControlClickAddsAndRemovesCellsAndCopyOrdersThem)
{
    click(Cell{0, 1});
    click(Cell{0, 0}, Qt::ControlModifier);
    click(Cell{2, 0}, Qt::ControlModifier);
    EXPECT_EQ(copied(), QStringLiteral("r0c0\tr0c1\r\nr2c0"));
    EXPECT_EQ(list.lastSelectedCell(), Cell(2, 0)) << "copying leaves the selection order alone";

    click(Cell{0, 0}, Qt::ControlModifier);
    EXPECT_EQ(list.state().selectedCells, (std::vector<Cell>{Cell(0, 1), Cell(2, 0)}))
        << "Ctrl+click takes a selected cell out, the release does not put it back";
    EXPECT_EQ(copied(), QStringLiteral("r0c1\r\nr2c0"));
}

TEST_F(VirtualListTest, DragSelectsTheRectangleAndShrinksWhenDraggedBack)
{
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(Cell{1, 1}));
    QTest::mouseMove(list.viewport(), centre(Cell{2, 2}));
    QTest::mouseMove(list.viewport(), centre(Cell{3, 2}));
    EXPECT_TRUE(list.state().dragging);
    EXPECT_EQ(asSet(list.state().selectedCells),
              (std::set<Cell>{Cell(1, 1), Cell(1, 2), Cell(2, 1), Cell(2, 2), Cell(3, 1), Cell(3, 2)}));
    QTest::mouseMove(list.viewport(), centre(Cell{1, 2}));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(Cell{1, 2}));
    EXPECT_FALSE(list.state().dragging);
    EXPECT_EQ(asSet(list.state().selectedCells), (std::set<Cell>{Cell(1, 1), Cell(1, 2)}));
    EXPECT_EQ(copied(), QStringLiteral("r1c1\tr1c2"));
    EXPECT_EQ(paintedBackground(Cell{1, 2}), CVirtualListCtrl::SelectedColors.back);
    EXPECT_EQ(paintedBackground(Cell{2, 2}), CVirtualListCtrl::PlainColors.back);
}

TEST_F(VirtualListTest, ReleaseOutsideTheListEndsTheDrag)
{
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(Cell{0, 0}));
    QTest::mouseMove(list.viewport(), centre(Cell{1, 1}));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(-40, -40));
    EXPECT_FALSE(list.state().dragging);
    const std::set<Cell> selected = asSet(list.state().selectedCells);
    // Hovering afterwards without a button changes nothing.
    list.dragStep(Cell{4, 3});
    EXPECT_EQ(asSet(list.state().selectedCells), selected);
    EXPECT_EQ(selected, (std::set<Cell>{Cell(0, 0), Cell(0, 1), Cell(1, 0), Cell(1, 1)}));
}

TEST_F(VirtualListTest, SelectAllCopiesEveryRowAndAClickEndsIt)
{
    click(Cell{1, 1});
    QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(list.state().selectAll);
    EXPECT_TRUE(list.state().selectedCells.empty());
    QString expected;
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 4; ++c)
            expected += cellName(r, c) + QLatin1Char('\t');
        expected += QLatin1String("\r\n");
    }
    EXPECT_EQ(copied(), expected);
    EXPECT_EQ(paintedBackground(Cell{5, 3}), CVirtualListCtrl::SelectedColors.back);

    fake.menus.choice = res::CmdOpen;
    rightClick(centre(Cell{3, 3}));
    EXPECT_EQ(fake.menus.shown.size(), 1u);
    EXPECT_TRUE(owner.calls.empty()) << "no cell to open after select all";

    click(Cell{3, 2});
    EXPECT_FALSE(list.state().selectAll);
    EXPECT_EQ(list.state().selectedCells, std::vector<Cell>{Cell(3, 2)});
    EXPECT_EQ(paintedBackground(Cell{5, 3}), CVirtualListCtrl::PlainColors.back);
}

TEST_F(VirtualListTest, HeaderSortsDescendingFirstThenToggles)
{
    rows[0].c2 = QStringLiteral("b");
    rows[1].c2 = QStringLiteral("d");
    rows[2].c2 = QStringLiteral("a");
    rows[3].c2 = QStringLiteral("c");
    rows[4].c2 = QStringLiteral("B");
    rows[5].c2 = QStringLiteral("10");
    list.SetData(&adapter);

    clickHeader(2);
    EXPECT_EQ(list.state().sortColumn, 2);
    EXPECT_TRUE(list.state().sortDescending);
    EXPECT_EQ(column(2), (QStringList{"d", "c", "b", "a", "B", "10"}));
    clickHeader(2);
    EXPECT_FALSE(list.state().sortDescending);
    EXPECT_EQ(column(2), (QStringList{"10", "B", "a", "b", "c", "d"}));
    clickHeader(3);
    EXPECT_EQ(list.state().sortColumn, 3);
    EXPECT_TRUE(list.state().sortDescending);
    EXPECT_EQ(column(3).front(), cellName(5, 3));
}

TEST_F(VirtualListTest, RunsOfEqualValuesAreShadedAlike)
{
    const char *values[] = {"c", "a", "b", "c", "a"};
    rows.resize(5);
    for (int r = 0; r < 5; ++r)
        rows[size_t(r)].c0 = QString::fromLatin1(values[r]);
    list.SetData(&adapter);

    clickHeader(0);
    EXPECT_EQ(column(0), (QStringList{"c", "c", "b", "a", "a"}));
    EXPECT_EQ(list.state().groupShade, (std::vector<unsigned char>{0, 0, 1, 0, 0}));
    clickHeader(0);
    EXPECT_EQ(column(0), (QStringList{"a", "a", "b", "c", "c"}));
    EXPECT_EQ(list.state().groupShade, (std::vector<unsigned char>{0, 0, 1, 0, 0}));
    EXPECT_EQ(paintedBackground(Cell{2, 1}), CVirtualListCtrl::ShadedColors.back);
    EXPECT_EQ(paintedBackground(Cell{3, 1}), CVirtualListCtrl::PlainColors.back);
    EXPECT_EQ(list.cellColorsAt(2, 0)->text, QColor(0, 0, 0));
}

TEST_F(VirtualListTest, SetDataForgetsSelectionSortAndShading)
{
    rows[1].c0 = QStringLiteral("z");
    list.SetData(&adapter);
    clickHeader(0);
    click(Cell{1, 1});
    ASSERT_NE(std::count(list.state().groupShade.begin(), list.state().groupShade.end(), 1), 0);

    rows.push_back(Row{QStringLiteral("new"), {}, {}, {}});
    list.SetData(&adapter);
    EXPECT_EQ(list.state().rowCount, 7);
    EXPECT_EQ(list.state().sortColumn, -1);
    EXPECT_TRUE(list.state().sortDescending);
    EXPECT_TRUE(list.state().selectedCells.empty());
    EXPECT_EQ(list.state().groupShade, std::vector<unsigned char>(7, 0));
    clickHeader(0);
    EXPECT_TRUE(list.state().sortDescending) << "the first click after SetData sorts descending";
}

TEST_F(VirtualListTest, HeaderClickWithOneRowOnlyChangesTheSortState)
{
    rows.resize(1);
    list.SetData(&adapter);
    clickHeader(1);
    EXPECT_EQ(list.state().sortColumn, 1);
    clickHeader(1);
    EXPECT_FALSE(list.state().sortDescending);
}

TEST_F(VirtualListTest, MenuCommandsReachTheOwnerWithTheLastSelectedCell)
{
    list.setMenuId(res::AdResultListMenu);
    click(Cell{0, 0});
    click(Cell{4, 2}, Qt::ControlModifier);
    const struct {
        int command;
        const char *handler;
    } commands[] = {{res::CmdOpen, "open"},
                    {res::CmdSearchAds, "ads"},
                    {res::CmdSearchJump, "jump"},
                    {res::CmdSearchHistory, "history"}};
    for (const auto &c : commands) {
        fake.menus.choice = c.command;
        rightClick(centre(Cell{1, 3}));
        ASSERT_FALSE(owner.calls.empty()) << c.handler;
        EXPECT_STREQ(owner.calls.back().handler, c.handler);
        EXPECT_EQ(owner.calls.back().cell, Cell(4, 2));
        EXPECT_EQ(owner.lastList, &list);
    }
    EXPECT_EQ(owner.calls.size(), 4u);
    ASSERT_EQ(fake.menus.shown.size(), 4u);
    EXPECT_EQ(fake.menus.shown[0].commands, (std::vector<int>{32772, 32773, 32778, 32780, 32782, 32785}));
    EXPECT_EQ(fake.menus.shown[0].pos, list.viewport()->mapToGlobal(centre(Cell{1, 3})));
    EXPECT_EQ(list.state().selectedCells.size(), 2u) << "the right button changes no selection";

    fake.menus.choice = res::CmdCopy;
    rightClick(centre(Cell{1, 3}));
    EXPECT_EQ(fake.clipboard.text(), QStringLiteral("r0c0\r\nr4c2"));
}

TEST_F(VirtualListTest, DefaultMenuHasTheThreeCommonCommands)
{
    click(Cell{2, 2});
    rightClick(centre(Cell{2, 2}));
    ASSERT_EQ(fake.menus.shown.size(), 1u);
    EXPECT_EQ(fake.menus.shown[0].commands, (std::vector<int>{32772, 32773, 32778}));
    EXPECT_TRUE(owner.calls.empty()) << "choosing nothing runs nothing";
    fake.menus.choice = res::CmdSelectAll;
    rightClick(centre(Cell{2, 2}));
    EXPECT_TRUE(list.state().selectAll);
}

TEST_F(VirtualListTest, RightClickBelowTheLastRowShowsNoMenu)
{
    const QRect last = list.cellRect(Cell{5, 0});
    const QPoint below(last.center().x(), last.bottom() + list.rowHeight());
    ASSERT_LT(below.y(), list.viewport()->height());
    EXPECT_TRUE(list.HitTest(below).isNone());
    rightClick(below);
    EXPECT_TRUE(fake.menus.shown.empty());

    click(Cell{5, 0});
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_EQ(list.state().selectedCells, std::vector<Cell>{Cell(5, 0)})
        << "a click on no cell changes nothing";
}

TEST_F(VirtualListTest, ApplicationKeyShowsTheMenuAtTheFirstRow)
{
    QTest::keyClick(&list, Qt::Key_Menu);
    ASSERT_EQ(fake.menus.shown.size(), 1u);
    const QPoint window = list.mapToGlobal(QPoint(0, 0));
    const QPoint row0 = list.viewport()->geometry().topLeft();
    EXPECT_EQ(fake.menus.shown[0].pos,
              QPoint(window.x() + list.width() / 2 + row0.x(), window.y() + row0.y()));
}

TEST_F(VirtualListTest, DoubleClickOpensTheClickedCell)
{
    // The platform sends a press and a release before the double click.
    click(Cell{3, 1});
    EXPECT_TRUE(owner.calls.empty());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(Cell{3, 1}));
    ASSERT_FALSE(owner.calls.empty());
    EXPECT_STREQ(owner.calls.back().handler, "open");
    EXPECT_EQ(owner.calls.back().cell, Cell(3, 1));
}

TEST_F(VirtualListTest, CommandsWithoutOwnerOrClipboardDoNothing)
{
    list.setCommandHandler(nullptr);
    click(Cell{1, 1});
    list.OnCommand(res::CmdOpen);
    fake.clipboard.content = QStringLiteral("kept");
    fake.clipboard.available = false;
    list.CopyCells();
    EXPECT_EQ(fake.clipboard.text(), QStringLiteral("kept"));
    fake.clipboard.available = true;
    list.SetData(&adapter);
    list.CopyCells();
    EXPECT_EQ(fake.clipboard.writes, 0) << "nothing selected: the clipboard keeps its content";
}

struct CopyCase {
    const char *name;
    std::vector<Row> rows;
    std::vector<Cell> clicks; // the first a plain click, the rest with Ctrl
    QString expected;
};

class CopyText : public VirtualListTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyText, TabsBetweenCellsLineBreaksBetweenRows)
{
    const CopyCase &c = GetParam();
    rows = c.rows;
    list.SetData(&adapter);
    for (size_t i = 0; i < c.clicks.size(); ++i)
        click(c.clicks[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    EXPECT_EQ(copied(), c.expected);
}

const CopyCase copyCases[] = {
    {"EqualTextsInTwoCellsStayTwoCells", {{"T", "T", "x", "y"}}, {Cell{0, 0}, Cell{0, 1}}, "T\tT"},
    {"NeighbouringTextsAreNotMerged",
     {{"21", "1", "13", "y"}},
     {Cell{0, 0}, Cell{0, 1}, Cell{0, 2}},
     "21\t1\t13"},
    {"EmptyCellsKeepTheirTabs",
     {{"a", "b", "", ""}, {"", "", "c", "d"}},
     {Cell{0, 0}, Cell{0, 1}, Cell{1, 0}, Cell{1, 1}},
     "a\tb\r\n\t"},
    {"GapsAreNotFilled",
     {{"a", "b", "c", "d"}, {"e", "f", "g", "h"}},
     {Cell{1, 3}, Cell{0, 2}, Cell{1, 0}},
     "c\r\ne\th"},
};

INSTANTIATE_TEST_SUITE_P(Selections, CopyText, ::testing::ValuesIn(copyCases),
                         [](const ::testing::TestParamInfo<CopyCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(VirtualListTest, DragRepeatsTheAnchorButCopiesItOnce)
{
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(Cell{1, 1}));
    QTest::mouseMove(list.viewport(), centre(Cell{1, 2}));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(Cell{1, 2}));
    EXPECT_EQ(std::count(list.state().selectedCells.begin(), list.state().selectedCells.end(), Cell(1, 1)),
              2);
    EXPECT_EQ(copied(), QStringLiteral("r1c1\tr1c2"));
}

// Counts what the list asks of its rows.
class CountingData final : public ICtrlData {
public:
    explicit CountingData(int rows) : rows(rows) {}
    int GetCount() const override { return rows; }
    int GetColumnCount() const override { return 3; }
    const QString &GetText(int row, int column) const override
    {
        ++calls;
        minRow = std::min(minRow, row);
        maxRow = std::max(maxRow, row);
        text = QStringLiteral("%1/%2").arg(row).arg(column);
        return text;
    }
    void Sort(int, bool) override {}
    void forget()
    {
        calls = 0;
        minRow = INT_MAX;
        maxRow = -1;
    }

    int rows;
    mutable int calls = 0;
    mutable int minRow = INT_MAX;
    mutable int maxRow = -1;
    mutable QString text;
};

TEST(VirtualListPaintTest, OnlyVisibleCellsAreAskedFor)
{
    CountingData data(200000);
    CVirtualListCtrl list;
    list.resize(400, 300);
    list.SetColumns({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    list.SetData(&data);
    list.show();
    data.forget();
    list.viewport()->grab();
    const int visibleRows = list.viewport()->height() / list.rowHeight() + 1;
    EXPECT_GT(data.calls, 0);
    EXPECT_LE(data.calls, visibleRows * 3);
    EXPECT_EQ(data.minRow, 0);
    EXPECT_LT(data.maxRow, visibleRows);

    list.verticalScrollBar()->setValue(150000);
    data.forget();
    list.viewport()->grab();
    EXPECT_GE(data.minRow, 150000);
    EXPECT_LT(data.maxRow, 150000 + visibleRows);
    EXPECT_EQ(list.state().groupShade.size(), 200000u);
}

TEST(VirtualListPaintTest, ColumnWidthsFillTheClientAreaWhenNotGiven)
{
    CVirtualListCtrl list;
    list.resize(415, 200);
    const int client = list.contentsRect().width();
    list.SetColumns({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, {50});
    EXPECT_EQ(list.state().columnCount, 3);
    EXPECT_EQ(list.header()->sectionSize(0), platform::scaledToFont(50, list.font()));
    EXPECT_EQ(list.header()->sectionSize(1), (client - 15) / 3);
    EXPECT_EQ(list.header()->sectionSize(2), (client - 15) / 3);
    EXPECT_EQ(list.itemModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("b"));
}

class ModelWarnings {
public:
    ModelWarnings() { previous = qInstallMessageHandler(&ModelWarnings::handle); }
    ~ModelWarnings() { qInstallMessageHandler(previous); }
    static QStringList &failures()
    {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type != QtDebugMsg && message.contains(QLatin1String("FAIL")))
            failures() << message;
    }
    QtMessageHandler previous;
};

TEST_F(VirtualListTest, ModelPassesTheItemModelTester)
{
    ModelWarnings warnings;
    ModelWarnings::failures().clear();
    QAbstractItemModelTester tester(list.itemModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    list.SetData(&adapter);
    clickHeader(1);
    click(Cell{2, 2});
    rows.resize(2);
    list.SetData(&adapter);
    list.SetColumns({QStringLiteral("x"), QStringLiteral("y")});
    list.SetData(nullptr);
    EXPECT_TRUE(ModelWarnings::failures().isEmpty()) << ModelWarnings::failures().join('\n').toStdString();
    EXPECT_EQ(list.itemModel()->rowCount(), 0);
}

TEST_F(VirtualListTest, ModelShowsTextsAndColours)
{
    QAbstractItemModel *model = list.itemModel();
    EXPECT_EQ(model->rowCount(), 6);
    EXPECT_EQ(model->columnCount(), 4);
    EXPECT_EQ(model->index(3, 2).data().toString(), QStringLiteral("r3c2"));
    click(Cell{3, 2});
    EXPECT_EQ(model->index(3, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(51, 153, 255));
    EXPECT_EQ(model->index(3, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 255, 255));
    EXPECT_EQ(model->index(3, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 255));
    // Rows that vanished from the adapter before the next SetData keep the default colours.
    rows.resize(2);
    EXPECT_FALSE(list.cellColorsAt(3, 1).has_value());
    EXPECT_EQ(model->index(3, 1).data().toString(), QString());
}

} // namespace
