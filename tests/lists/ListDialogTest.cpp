#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "platform/DialogUnits.h"
#include "records/CtrlData.h"
#include "lists/VirtualListCtrl.h"
#include "platform/DialogWindow.h"
#include "tests/support/RecordingServices.h"
#include "res/Resources.h"

namespace {

struct Ad {
    QString site;
    QString game;
};

// A window written the way the program's windows are: a template, a bound list and the
// list's handlers as plain members.
class AdListWindow : public platform::DialogWindow, public IListCommandHandler {
public:
    explicit AdListWindow(std::vector<Ad> rows)
        : DialogWindow(res::dialog(res::AdDetailDialog)), rows(std::move(rows))
    {
        bindControl(1010, list);
    }

    void openHandler(CVirtualListCtrl &, Cell cell) override
    {
        platform::shellOpen(services(), adapter.GetText(cell.row, 1));
    }

    std::vector<Ad> rows;
    CtrlData<Ad> adapter{&rows, {&Ad::site, &Ad::game}};
    CVirtualListCtrl list;

protected:
    bool OnInitDialog() override
    {
        list.setServices(services());
        list.setCommandHandler(this);
        list.SetColumns({QStringLiteral("发布站"), QStringLiteral("游戏网址")}, {150});
        list.SetData(&adapter);
        return true;
    }
};

TEST(ListDialogTest, BoundListSitsInTheTemplateAndOpensOnlyWebAddresses)
{
    platform::RecordingServices fake;
    AdListWindow window({Ad{QStringLiteral("发布站甲"), QStringLiteral("www.game.example.com")},
                         Ad{QStringLiteral("发布站乙"), QStringLiteral("file:///etc/passwd")}});
    window.setServices(fake.services());
    ASSERT_TRUE(window.Create());
    window.show();

    EXPECT_EQ(window.item(1010), &window.list);
    EXPECT_EQ(window.list.geometry(), window.units().toPixels(QRect(7, 7, 789, 284)));
    EXPECT_EQ(window.list.state().rowCount, 2);
    EXPECT_EQ(window.list.header()->sectionSize(0), platform::scaledToFont(150, window.list.font()));

    for (int row : {0, 1}) {
        const QPoint pos = window.list.cellRect(Cell{row, 0}).center();
        QTest::mouseClick(window.list.viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseDClick(window.list.viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }
    ASSERT_EQ(fake.shell.opened.size(), 1u) << "the file address is refused";
    EXPECT_EQ(fake.shell.opened[0], QUrl(QStringLiteral("http://www.game.example.com")));

    QTest::keyClick(&window.list, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), platform::IDCANCEL);
}

} // namespace
