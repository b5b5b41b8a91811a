#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/DialogWindow.h"
#include "tests/support/WaitUntil.h"

using namespace platform;

namespace {

DialogTemplate formTemplate()
{
    return DialogTemplate{
        600,
        QStringLiteral("表单"),
        QSize(186, 105),
        QStringLiteral("MS Shell Dlg"),
        8,
        DlgCaption | DlgSysMenu | DlgModalFrame,
        {
            ControlTemplate{1009, ControlKind::Edit, QString(), QRect(60, 10, 101, 14)},
            ControlTemplate{1010, ControlKind::Edit, QString(), QRect(60, 32, 101, 14)},
            ControlTemplate{IDOK, ControlKind::PushButton, QStringLiteral("登录"), QRect(7, 50, 50, 14),
                            DefaultButton},
            ControlTemplate{1013, ControlKind::PushButton, QStringLiteral("申请"), QRect(128, 50, 50, 14)},
        }};
}

class FormDialog : public DialogWindow {
public:
    explicit FormDialog(DialogTemplate tpl = formTemplate()) : DialogWindow(tpl) {}

    std::vector<int> commands;
    std::vector<int> focusLost;
    int initCalls = 0;
    bool controlsExistedAtInit = false;
    bool refuseOk = false;
    std::optional<int> endDuringInit;

protected:
    bool OnInitDialog() override
    {
        ++initCalls;
        controlsExistedAtInit = control<QLineEdit>(1009) && control<QPushButton>(1013);
        if (endDuringInit)
            EndDialog(*endDuringInit);
        return true;
    }
    void OnCommand(int id) override
    {
        commands.push_back(id);
        DialogWindow::OnCommand(id);
    }
    void OnOK() override
    {
        if (!refuseOk)
            DialogWindow::OnOK();
    }
    void OnKillFocus(int id) override { focusLost.push_back(id); }
};

TEST(DialogWindowTest, CreateBuildsOnceAndRunsInitAfterTheControls)
{
    FormDialog dialog;
    EXPECT_EQ(dialog.item(1009), nullptr) << "no controls before Create";
    EXPECT_TRUE(dialog.Create());
    EXPECT_TRUE(dialog.Create());
    EXPECT_EQ(dialog.initCalls, 1);
    EXPECT_TRUE(dialog.controlsExistedAtInit);
    EXPECT_EQ(dialog.defaultCommand(), IDOK);
}

TEST(DialogWindowTest, ButtonClickSendsItsIdAndOnlyOkAndCancelEndTheDialog)
{
    FormDialog dialog;
    dialog.Create();
    dialog.show();
    QTest::mouseClick(dialog.control<QPushButton>(1013), Qt::LeftButton);
    EXPECT_EQ(dialog.commands, std::vector<int>{1013});
    EXPECT_TRUE(dialog.isVisible());

    QTest::mouseClick(dialog.control<QPushButton>(IDOK), Qt::LeftButton);
    EXPECT_EQ(dialog.commands, (std::vector<int>{1013, IDOK}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDOK);
}

TEST(DialogWindowTest, EnterInAnEditSendsTheDefaultButtonAndEscapeSendsCancel)
{
    FormDialog dialog;
    dialog.refuseOk = true; // a window that checks its input and stays open
    dialog.Create();
    dialog.show();
    QLineEdit *name = dialog.control<QLineEdit>(1009);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(dialog.commands, std::vector<int>{IDOK});
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_EQ(dialog.commands, (std::vector<int>{IDOK, IDCANCEL}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDCANCEL);
}

TEST(DialogWindowTest, EnterOnAFocusedButtonPressesThatButton)
{
    FormDialog dialog;
    dialog.Create();
    dialog.show();
    QPushButton *apply = dialog.control<QPushButton>(1013);
    apply->setFocus();
    QTest::keyClick(apply, Qt::Key_Return);
    EXPECT_EQ(dialog.commands, std::vector<int>{1013});
}

TEST(DialogWindowTest, TheCloseBoxIsCancel)
{
    FormDialog dialog;
    dialog.Create();
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.commands, std::vector<int>{IDCANCEL});
    EXPECT_FALSE(dialog.isVisible());
}

TEST(DialogWindowTest, DoModalReturnsTheCodeThatEndedIt)
{
    FormDialog dialog;
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(dialog.control<QLineEdit>(1010), Qt::Key_Escape); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);

    FormDialog ended;
    ended.endDuringInit = 7;
    EXPECT_EQ(ended.DoModal(), 7) << "ended in OnInitDialog: no modal loop";
    EXPECT_FALSE(ended.isVisible());
}

TEST(DialogWindowTest, ItemTextReadsAndWritesEachKind)
{
    FormDialog dialog;
    dialog.Create();
    dialog.setItemText(1009, QStringLiteral("用户"));
    dialog.setItemText(1013, QStringLiteral("新文字"));
    EXPECT_EQ(dialog.control<QLineEdit>(1009)->text(), QStringLiteral("用户"));
    EXPECT_EQ(dialog.itemText(1009), QStringLiteral("用户"));
    EXPECT_EQ(dialog.itemText(1013), QStringLiteral("新文字"));
    EXPECT_EQ(dialog.itemText(4242), QString());
}

TEST(DialogWindowTest, LosingTheFocusIsReportedWithTheControlId)
{
    FormDialog dialog;
    dialog.Create();
    dialog.show();
    dialog.activateWindow();
    QLineEdit *name = dialog.control<QLineEdit>(1009);
    name->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return name->hasFocus(); }));
    dialog.control<QLineEdit>(1010)->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return !dialog.focusLost.empty(); }));
    EXPECT_EQ(dialog.focusLost.front(), 1009);
}

} // namespace
