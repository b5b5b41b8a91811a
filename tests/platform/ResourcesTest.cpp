#include <gtest/gtest.h>

#include <set>

#include <QLineEdit>
#include <QPushButton>

#include "platform/DialogWindow.h"
#include "res/Resources.h"

using namespace platform;

TEST(ResourcesTest, EveryTemplateBuildsWithUniqueIdsInsideItsClientArea)
{
    const std::vector<int> ids = res::DialogIds();
    const std::set<int> expected{100, 102, 129, 131, 132, 133, 135, 137, 139, 140, 144, 145, 146, 147};
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), expected);
    for (int id : ids) {
        const DialogTemplate &tpl = res::dialog(id);
        EXPECT_EQ(tpl.id, id);
        EXPECT_FALSE(tpl.caption.isEmpty()) << id;
        std::set<int> seen;
        for (const ControlTemplate &c : tpl.controls) {
            if (c.id != IDC_STATIC) {
                EXPECT_TRUE(seen.insert(c.id).second) << "template " << id << " repeats control " << c.id;
            }
            if (c.kind != ControlKind::ComboBox) { // a combo box's height is its open list's
                EXPECT_TRUE(QRect(QPoint(0, 0), tpl.size).contains(c.rect))
                    << "template " << id << " control " << c.id << " lies outside the window";
            }
        }
        DialogWindow window(tpl);
        ASSERT_TRUE(window.Create());
        for (int controlId : seen)
            EXPECT_NE(window.item(controlId), nullptr) << id << "/" << controlId;
    }
    EXPECT_EQ(res::findDialog(1), nullptr);
}

struct TemplateFacts {
    int id;
    QString caption;
    QSize size;
    int pointSize;
    int defaultButton;
    std::vector<int> controls;
};

TEST(ResourcesTest, LoginAccountAndMainWindowTemplates)
{
    const TemplateFacts facts[] = {
        {res::LoginDialog,
         QStringLiteral("Vorlant-高阶版 登陆v12.4"),
         QSize(186, 105),
         8,
         IDOK,
         {1009, 1010, IDOK, 3, 1013}},
        {res::AccountAddDialog,
         QStringLiteral("创建账号"),
         QSize(245, 125),
         8,
         IDOK,
         {1003, 1004, 1005, 1007, IDCANCEL, IDOK}},
        {res::MainDialog,
         QStringLiteral("Vorlant-高阶版"),
         QSize(659, 351),
         9,
         IDOK,
         {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1015, 1016, 1017, 1019}},
    };
    for (const TemplateFacts &f : facts) {
        const DialogTemplate &tpl = res::dialog(f.id);
        EXPECT_EQ(tpl.caption, f.caption);
        EXPECT_EQ(tpl.size, f.size);
        EXPECT_EQ(tpl.pointSize, f.pointSize);
        std::vector<int> ids;
        for (const ControlTemplate &c : tpl.controls)
            if (c.id != IDC_STATIC)
                ids.push_back(c.id);
        EXPECT_EQ(ids, f.controls) << f.id;
        DialogWindow window(tpl);
        window.Create();
        EXPECT_EQ(window.defaultCommand(), f.defaultButton);
    }

    DialogWindow login(res::dialog(res::LoginDialog));
    login.Create();
    EXPECT_EQ(login.control<QPushButton>(IDOK)->text(), QStringLiteral("会员登录"));
    EXPECT_EQ(login.control<QLineEdit>(1010)->echoMode(), QLineEdit::Normal) << "the password shows as typed";
    EXPECT_EQ(res::dialog(res::MainDialog).fontName, QStringLiteral("宋体"));
    EXPECT_TRUE(res::dialog(res::MainDialog).styles & DlgMinimizeBox);
    EXPECT_FALSE(res::dialog(res::MainDialog).styles & DlgMaximizeBox);
    const ControlTemplate &qq = res::dialog(res::AccountAddDialog).controls[7];
    EXPECT_EQ(qq.id, 1007);
    EXPECT_TRUE(qq.styles & DigitsOnly);
}

TEST(ResourcesTest, MenusCarryTheirCommandsInOrder)
{
    const std::map<int, std::vector<int>> expected{
        {res::TrayMenu, {32771}},
        {res::CellListMenu, {32772, 32773, 32778}},
        {res::DomainListMenu, {32773, 32775, 32777}},
        {res::AdResultListMenu, {32772, 32773, 32778, 32780, 32782, 32785}},
    };
    for (const auto &[id, commands] : expected) {
        const MenuTemplate *menu = res::findMenu(id);
        ASSERT_NE(menu, nullptr) << id;
        ASSERT_FALSE(menu->popups.empty());
        std::vector<int> found;
        for (const MenuItem &item : menu->popups.front().children)
            found.push_back(item.command);
        EXPECT_EQ(found, commands) << id;
    }
    EXPECT_EQ(res::findMenu(res::TrayMenu)->popups[0].children[0].text, QStringLiteral("退出Vorlant-高阶版"));
    EXPECT_EQ(res::findMenu(res::AdResultListMenu)->popups[0].children[2].text,
              QStringLiteral("打开发布站(&O)"));
    EXPECT_EQ(res::findMenu(137), nullptr);
}

TEST(ResourcesTest, StringTable)
{
    EXPECT_EQ(res::LoadResString(res::AboutMenuString), QStringLiteral("关于 Kestrel(&A)..."));
    EXPECT_TRUE(res::LoadResString(9999).isEmpty());
}

TEST(ResourcesTest, IconIsDrawnAtEverySizeWithSeveralColours)
{
    for (int size : {16, 32, 48, 256}) {
        const QImage image = res::drawAppIcon(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "rounded corner stays transparent";
        std::set<QRgb> colours;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y) & 0xF0F0F0);
        EXPECT_GE(colours.size(), 3u) << size;
        // The bird's orange sits in the middle.
        const QColor centre = image.pixelColor(size / 2, size * 120 / 256);
        EXPECT_GT(centre.red(), centre.blue()) << size;
    }
    const QList<QSize> sizes = res::appIcon().availableSizes();
    for (int size : {16, 32, 48, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

TEST(ResourcesTest, PopupSkinKeysItsCornersWithMagenta)
{
    const QImage skin = res::popupSkin();
    ASSERT_EQ(skin.size(), QSize(150, 100));
    const QRgb magenta = qRgb(255, 0, 255);
    EXPECT_EQ(skin.pixel(0, 0) & 0xFFFFFF, magenta & 0xFFFFFF);
    EXPECT_EQ(skin.pixel(79, 59) & 0xFFFFFF, magenta & 0xFFFFFF);
    EXPECT_NE(skin.pixel(40, 30) & 0xFFFFFF, magenta & 0xFFFFFF);
    EXPECT_EQ(skin.pixel(120, 20) & 0xFFFFFF, magenta & 0xFFFFFF) << "unused area";
    // Close buttons: normal blue, hot red-orange.
    const QColor normal = skin.pixelColor(13, 64);
    const QColor hot = skin.pixelColor(53, 64);
    EXPECT_GT(normal.blue(), normal.red());
    EXPECT_GT(hot.red(), hot.blue());
}
