#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "account/AccountState.h"
#include "account/dialogs/DomainEdit.h"
#include "tests/support/DomainCheckCases.h"
#include "webproto/WebProtocol.h"
#include "tests/support/RecordingServices.h"
#include "tests/support/WaitUntil.h"

using platform::MessageIcon;

namespace {

const QString &kEmpty = kDomainEmpty;
const QString &kMalformed = kDomainMalformed;

class DomainEditTest : public ::testing::Test {
protected:
    void SetUp() override { dialog.setServices(fakes.services()); }

    // Presets the values as the main window does and shows the dialog.
    void open(const DomainEditValues &preset)
    {
        dialog.values = preset;
        ASSERT_TRUE(dialog.Create());
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    void open() { open(filled()); }

    static DomainEditValues filled()
    {
        DomainEditValues values;
        values.url = QStringLiteral("http://www.a-game.com");
        values.remark = QStringLiteral("描述");
        values.remindText = QStringLiteral("都提醒");
        values.mailbox = QStringLiteral("7654321@qq.com");
        return values;
    }

    QLineEdit *box(int id) const { return dialog.control<QLineEdit>(id); }
    QComboBox *reminder() const { return dialog.control<QComboBox>(CDomainEdit::RemindCombo); }
    QCheckBox *jinminhou() const { return dialog.control<QCheckBox>(CDomainEdit::JinminhouCheck); }
    QPushButton *button(int id) const { return dialog.control<QPushButton>(id); }

    void focusAddressBox()
    {
        box(CDomainEdit::AddressEdit)->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return box(CDomainEdit::AddressEdit)->hasFocus(); }));
    }

    bool stillOpen() const { return dialog.isVisible() && dialog.result() == 0; }
    QStringList messages() const
    {
        QStringList texts;
        for (const auto &shown : fakes.messageBox.shown)
            texts.append(shown.text);
        return texts;
    }

    platform::RecordingServices fakes;
    CDomainEdit dialog;
};

TEST_F(DomainEditTest, StartsEmptyWithEverySiteAndOnlyTodayToTheDayAfter)
{
    const DomainEditValues fresh;
    EXPECT_TRUE(fresh.url.isEmpty());
    EXPECT_TRUE(fresh.remindText.isEmpty());
    EXPECT_EQ(fresh.publishing, QStringLiteral("1"));
    EXPECT_EQ(fresh.jinminhou, 1);
}

TEST_F(DomainEditTest, OpensWithThePresetValuesAndNoFocusedControl)
{
    DomainEditValues preset = filled();
    preset.remindText = QStringLiteral("QQ提醒");
    open(preset);

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("管理"));
    EXPECT_EQ(box(CDomainEdit::AddressEdit)->text(), preset.url);
    EXPECT_EQ(box(CDomainEdit::RemarkEdit)->text(), preset.remark);
    EXPECT_EQ(box(CDomainEdit::MailboxEdit)->text(), preset.mailbox);
    EXPECT_TRUE(box(CDomainEdit::MailboxEdit)->isReadOnly());
    EXPECT_FALSE(reminder()->isEditable()) << "a drop-down list takes no typed text";
    EXPECT_EQ(reminder()->currentText(), QStringLiteral("QQ提醒"));
    EXPECT_TRUE(jinminhou()->isChecked());
    EXPECT_EQ(button(platform::IDOK)->text(), QStringLiteral("确  认"));
    EXPECT_EQ(dialog.item(platform::IDCANCEL), nullptr);

    QWidget *focused = QApplication::focusWidget();
    for (int id : {int(CDomainEdit::AddressEdit), int(CDomainEdit::RemarkEdit), int(CDomainEdit::RemindCombo),
                   int(CDomainEdit::MailboxEdit), int(CDomainEdit::JinminhouCheck),
                   int(CDomainEdit::SitesButton), int(platform::IDOK)})
        EXPECT_NE(focused, dialog.item(id)) << "control " << id << " has the focus";
    EXPECT_TRUE(fakes.messageBox.shown.empty());
}

// The dialog's items, in order, and the codes the main window sends for them.
TEST_F(DomainEditTest, ReminderItemsMapToTheirCodes)
{
    open();
    const std::pair<QString, QString> table[] = {
        {QStringLiteral("本地提醒"), QStringLiteral("1")},
        {QStringLiteral("QQ提醒"), QStringLiteral("2")},
        {QStringLiteral("都提醒"), QStringLiteral("3")},
        {QStringLiteral("不提醒"), QStringLiteral("4")},
    };
    ASSERT_EQ(reminder()->count(), 4);
    for (int index = 0; index < 4; ++index) {
        const auto &[text, code] = table[index];
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(reminder()->itemText(index), text);
        EXPECT_EQ(remindTypeCode(text), code);
        EXPECT_EQ(remindTypeText(code), text);
    }
}

struct PresetCase {
    const char *name;
    QString remindText;
    int jinminhou;
    int selected; // -1: no item
    bool checked;
};

class DomainEditPreset : public DomainEditTest, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(DomainEditPreset, SelectsTheItemOfTheTextAndChecksOnlyForOne)
{
    DomainEditValues preset = filled();
    preset.remindText = GetParam().remindText;
    preset.jinminhou = GetParam().jinminhou;
    open(preset);
    EXPECT_EQ(reminder()->currentIndex(), GetParam().selected);
    EXPECT_EQ(jinminhou()->isChecked(), GetParam().checked);
}

INSTANTIATE_TEST_SUITE_P(Presets, DomainEditPreset,
                         ::testing::Values(PresetCase{"Local", QStringLiteral("本地提醒"), 1, 0, true},
                                           PresetCase{"None", QStringLiteral("不提醒"), 0, 3, false},
                                           PresetCase{"Unknown", QStringLiteral("短信提醒"), 2, -1, false},
                                           PresetCase{"Empty", QString(), 1, -1, true}),
                         [](const auto &info) { return std::string(info.param.name); });

using OkCase = DomainCheckCase;

class DomainEditOk : public DomainEditTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(DomainEditOk, ChecksTheAddressAndReminder)
{
    const OkCase &c = GetParam();
    open();
    box(CDomainEdit::AddressEdit)->setText(c.typed);
    if (!c.remark.isEmpty())
        box(CDomainEdit::RemarkEdit)->setText(c.remark);
    reminder()->setCurrentIndex(c.reminder);
    dialog.sendCommand(platform::IDOK);

    if (c.message.isEmpty()) {
        EXPECT_TRUE(fakes.messageBox.shown.empty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(dialog.result(), platform::IDOK);
        EXPECT_EQ(dialog.values.url, c.stored);
        EXPECT_EQ(box(CDomainEdit::AddressEdit)->text(), c.stored);
        EXPECT_EQ(dialog.values.remindText, reminder()->itemText(c.reminder));
        return;
    }
    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, c.message);
    EXPECT_EQ(fakes.messageBox.shown[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(fakes.messageBox.shown[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(stillOpen());
}

// The same table runs against the command line (tests/cli).
INSTANTIATE_TEST_SUITE_P(Addresses, DomainEditOk, ::testing::ValuesIn(domainCheckCases()),
                         DomainCheckCaseName());

TEST_F(DomainEditTest, BoxesTakeNoMoreThanTheServiceStores)
{
    open();
    box(CDomainEdit::RemarkEdit)->setText(QString(WebProtocol::kMaxRemarkChars + 20, u'备'));
    box(CDomainEdit::AddressEdit)
        ->setText(QStringLiteral("http://a.com/") + QString(WebProtocol::kMaxAddressChars, u'x'));
    EXPECT_EQ(box(CDomainEdit::RemarkEdit)->text().size(), WebProtocol::kMaxRemarkChars);
    EXPECT_EQ(box(CDomainEdit::AddressEdit)->text().size(), WebProtocol::kMaxAddressChars);
    dialog.sendCommand(platform::IDOK);
    EXPECT_TRUE(fakes.messageBox.shown.empty()) << messages().join(u'\n').toStdString();
    EXPECT_EQ(dialog.result(), platform::IDOK);
}

TEST_F(DomainEditTest, AStoredRemarkAboveTheLimitShowsWholeAndIsAskedToBeShortened)
{
    DomainEditValues preset = filled();
    preset.remark = QString(WebProtocol::kMaxRemarkChars + 5, u'备');
    open(preset);
    EXPECT_EQ(box(CDomainEdit::RemarkEdit)->text(), preset.remark) << "nothing stored is cut on opening";
    dialog.sendCommand(platform::IDOK);
    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, QStringLiteral("备注太长，最多500个字符。"));
    EXPECT_TRUE(stillOpen());

    box(CDomainEdit::RemarkEdit)->setText(preset.remark.left(WebProtocol::kMaxRemarkChars));
    dialog.sendCommand(platform::IDOK);
    EXPECT_EQ(dialog.result(), platform::IDOK);
    EXPECT_EQ(dialog.values.remark.size(), WebProtocol::kMaxRemarkChars);
}

TEST_F(DomainEditTest, ClearedBoxGetsTheHintBackWhenItLosesTheFocus)
{
    open();
    focusAddressBox();
    box(CDomainEdit::AddressEdit)->clear();
    EXPECT_EQ(dialog.values.url, filled().url) << "typing alone takes nothing";

    // The click moves the focus to the button first: the box takes the hint,
    // which is no address.
    QTest::mouseClick(button(platform::IDOK), Qt::LeftButton);
    EXPECT_EQ(box(CDomainEdit::AddressEdit)->text(), kDomainAddressHint);
    EXPECT_EQ(messages(), QStringList{kMalformed});
    EXPECT_TRUE(stillOpen());
}

TEST_F(DomainEditTest, EnterInTheClearedBoxFindsItEmpty)
{
    open();
    focusAddressBox();
    box(CDomainEdit::AddressEdit)->clear();
    QTest::keyClick(box(CDomainEdit::AddressEdit), Qt::Key_Return);
    EXPECT_EQ(messages(), QStringList{kEmpty});
    EXPECT_TRUE(box(CDomainEdit::AddressEdit)->text().isEmpty());
    EXPECT_TRUE(stillOpen());
}

TEST_F(DomainEditTest, LeavingTheBoxTakesEveryText)
{
    open();
    focusAddressBox();
    box(CDomainEdit::AddressEdit)->setText(QStringLiteral("http://www.b.com"));
    box(CDomainEdit::RemarkEdit)->setText(QStringLiteral("新服"));
    reminder()->setCurrentIndex(0);
    box(CDomainEdit::RemarkEdit)->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return dialog.values.url == QStringLiteral("http://www.b.com"); }));
    EXPECT_EQ(dialog.values.remark, QStringLiteral("新服"));
    EXPECT_EQ(dialog.values.remindText, QStringLiteral("本地提醒"));
    EXPECT_EQ(dialog.values.mailbox, filled().mailbox);
}

TEST_F(DomainEditTest, CheckBoxSetsJinminhouAndTakesTheTexts)
{
    open();
    box(CDomainEdit::RemarkEdit)->setText(QStringLiteral("改过"));
    QTest::mouseClick(jinminhou(), Qt::LeftButton);
    EXPECT_EQ(dialog.values.jinminhou, 0);
    EXPECT_EQ(dialog.values.remark, QStringLiteral("改过"));
    QTest::mouseClick(jinminhou(), Qt::LeftButton);
    EXPECT_EQ(dialog.values.jinminhou, 1);
}

TEST_F(DomainEditTest, SitesButtonRunsTheChooserOnThePublishingValue)
{
    open();
    QTest::mouseClick(button(CDomainEdit::SitesButton), Qt::LeftButton);
    EXPECT_EQ(dialog.values.publishing, QStringLiteral("1")) << "no chooser, nothing happens";

    std::vector<QString> seen;
    bool confirm = true;
    dialog.setSiteChooser([&](QWidget *parent, QString &value) {
        EXPECT_EQ(parent, &dialog);
        seen.push_back(value);
        value = QStringLiteral("站A~站B");
        return confirm;
    });
    QTest::mouseClick(button(CDomainEdit::SitesButton), Qt::LeftButton);
    EXPECT_EQ(dialog.values.publishing, QStringLiteral("站A~站B"));
    confirm = false;
    dialog.values.publishing = QStringLiteral("站C");
    QTest::mouseClick(button(CDomainEdit::SitesButton), Qt::LeftButton);
    EXPECT_EQ(dialog.values.publishing, QStringLiteral("站C")) << "a cancelled choice changes nothing";
    EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("1"), QStringLiteral("站C")}));
    EXPECT_TRUE(stillOpen());
}

TEST_F(DomainEditTest, EscapeAndTheCloseBoxCancelWithoutAMessage)
{
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Escape");
        CDomainEdit edit;
        edit.setServices(fakes.services());
        edit.values = filled();
        ASSERT_TRUE(edit.Create());
        edit.show();
        if (closeBox)
            edit.close();
        else
            QTest::keyClick(&edit, Qt::Key_Escape);
        EXPECT_FALSE(edit.isVisible());
        EXPECT_EQ(edit.result(), platform::IDCANCEL);
    }
    EXPECT_TRUE(fakes.messageBox.shown.empty());
}

} // namespace
