#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "platform/ControlHelpers.h"
#include "platform/DialogBuilder.h"

using namespace platform;

namespace {

DialogTemplate sampleTemplate()
{
    return DialogTemplate{
        500,
        QStringLiteral("样例"),
        QSize(200, 120),
        QStringLiteral("MS Shell Dlg"),
        8,
        DlgCaption | DlgSysMenu | DlgModalFrame,
        {
            ControlTemplate{IDC_STATIC, ControlKind::GroupBox, QStringLiteral("框"), QRect(2, 2, 196, 100)},
            ControlTemplate{IDC_STATIC, ControlKind::Static, QStringLiteral("名字："), QRect(10, 12, 30, 8)},
            ControlTemplate{1001, ControlKind::Edit, QStringLiteral("初始"), QRect(45, 10, 100, 14),
                            ReadOnly},
            ControlTemplate{1002, ControlKind::Edit, QString(), QRect(45, 28, 100, 14), DigitsOnly},
            ControlTemplate{1003, ControlKind::CheckBox, QStringLiteral("勾选"), QRect(10, 46, 80, 10)},
            ControlTemplate{1004, ControlKind::ComboBox, QString(), QRect(10, 60, 80, 40),
                            Sorted | DropDownList},
            ControlTemplate{1005, ControlKind::ListBox, QString(), QRect(100, 46, 90, 40),
                            Sorted | MultipleSel},
            ControlTemplate{1006, ControlKind::ReportList, QString(), QRect(150, 10, 40, 30)},
            ControlTemplate{IDOK, ControlKind::PushButton, QStringLiteral("确定"), QRect(140, 104, 50, 14),
                            DefaultButton},
            ControlTemplate{IDCANCEL, ControlKind::PushButton, QStringLiteral("取消"), QRect(85, 104, 50, 14),
                            Disabled},
        }};
}

TEST(DialogBuilderTest, PlacesEveryControlAtItsConvertedRectangle)
{
    QWidget host;
    const DialogTemplate tpl = sampleTemplate();
    const BuiltDialog built = buildDialog(tpl, host);

    EXPECT_EQ(host.windowTitle(), tpl.caption);
    EXPECT_EQ(built.clientSize, built.units.toPixels(tpl.size));
    EXPECT_EQ(host.size(), built.clientSize);
    EXPECT_EQ(host.minimumSize(), host.maximumSize()) << "a modal frame is not resizable";
    EXPECT_EQ(host.font().pixelSize(), 11);

    for (const ControlTemplate &c : tpl.controls) {
        if (c.id == IDC_STATIC)
            continue;
        QWidget *widget = built.item(c.id);
        ASSERT_NE(widget, nullptr) << c.id;
        EXPECT_EQ(findControl(host, c.id), widget);
        EXPECT_EQ(controlId(widget), c.id);
        const QRect expected = built.units.toPixels(c.rect);
        EXPECT_EQ(widget->pos(), expected.topLeft()) << c.id;
        EXPECT_EQ(widget->width(), expected.width()) << c.id;
        if (c.kind != ControlKind::ComboBox) {
            EXPECT_EQ(widget->height(), expected.height()) << c.id;
        }
    }
    // A combo box keeps its own height; the template's is that of its open list.
    EXPECT_LT(built.item(1004)->height(), built.units.toPixelsY(40));
    EXPECT_EQ(built.controls.size(), 8u) << "labels and frames without id are not registered";
}

TEST(DialogBuilderTest, ControlsGetTheirKindTextAndStyles)
{
    QWidget host;
    const BuiltDialog built = buildDialog(sampleTemplate(), host);

    auto *readOnly = qobject_cast<QLineEdit *>(built.item(1001));
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(readOnly->text(), QStringLiteral("初始"));
    EXPECT_TRUE(readOnly->isReadOnly());
    ASSERT_NE(qobject_cast<QCheckBox *>(built.item(1003)), nullptr);
    EXPECT_EQ(qobject_cast<QCheckBox *>(built.item(1003))->text(), QStringLiteral("勾选"));
    auto *combo = qobject_cast<QComboBox *>(built.item(1004));
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    auto *list = qobject_cast<QListWidget *>(built.item(1005));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::MultiSelection);
    auto *ok = qobject_cast<QPushButton *>(built.item(IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(built.item(IDCANCEL)->isEnabled());

    const auto labels = host.findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), QStringLiteral("名字："));
}

TEST(DialogBuilderTest, LabelsShowMarkupAsPlainText)
{
    // Labels are filled with server and user text at run time.
    const QString markup = QStringLiteral("<a href=\"file:///etc/passwd\">公告</a>");
    QWidget host;
    const BuiltDialog built =
        buildDialog(DialogTemplate{501,
                                   QStringLiteral("样例"),
                                   QSize(100, 40),
                                   QStringLiteral("MS Shell Dlg"),
                                   8,
                                   DlgCaption,
                                   {ControlTemplate{1010, ControlKind::Static, markup, QRect(2, 2, 90, 8)}}},
                    host);
    auto *label = qobject_cast<QLabel *>(built.item(1010));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), markup);
}

TEST(DialogBuilderTest, GroupBoxesLieBehindTheControlsTheyFrame)
{
    QWidget host;
    buildDialog(sampleTemplate(), host);
    const auto frames = host.findChildren<QGroupBox *>();
    ASSERT_EQ(frames.size(), 1);
    // Children paint in list order: the frame first.
    EXPECT_EQ(host.children().indexOf(frames.front()), 0);
}

TEST(DialogBuilderTest, BoundWidgetsTakeThePlaceOfTheirControl)
{
    QWidget host;
    auto *own = new QLabel(QStringLiteral("own"));
    const BuiltDialog built = buildDialog(sampleTemplate(), host, ControlBindings{{1006, own}});
    EXPECT_EQ(built.item(1006), own);
    EXPECT_EQ(own->parentWidget(), &host);
    EXPECT_EQ(own->geometry(), built.units.toPixels(QRect(150, 10, 40, 30)));
    EXPECT_EQ(controlId(own), 1006);
}

TEST(DialogBuilderTest, DigitsOnlyEditRefusesTypedLettersButNotProgramText)
{
    QWidget host;
    const BuiltDialog built = buildDialog(sampleTemplate(), host);
    auto *edit = qobject_cast<QLineEdit *>(built.item(1002));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, QStringLiteral("1a2-3"));
    EXPECT_EQ(edit->text(), QStringLiteral("123"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("12"));
    edit->setText(QStringLiteral("QQ号码"));
    EXPECT_EQ(edit->text(), QStringLiteral("QQ号码"));
}

TEST(ControlHelpersTest, SortedBoxesInsertInCaseInsensitiveOrder)
{
    QWidget host;
    const BuiltDialog built = buildDialog(sampleTemplate(), host);
    auto &combo = *qobject_cast<QComboBox *>(built.item(1004));
    auto &list = *qobject_cast<QListWidget *>(built.item(1005));
    for (const char *text : {"beta", "Alpha", "gamma", "alpha2"}) {
        AddString(combo, QString::fromUtf8(text));
        AddString(list, QString::fromUtf8(text));
    }
    const QStringList expected{QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta"),
                               QStringLiteral("gamma")};
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(combo.itemText(i), expected[i]);
        EXPECT_EQ(list.item(i)->text(), expected[i]);
    }

    QListWidget unsorted;
    AddString(unsorted, QStringLiteral("b"));
    AddString(unsorted, QStringLiteral("a"));
    EXPECT_EQ(unsorted.item(0)->text(), QStringLiteral("b"));

    EXPECT_EQ(findStringPrefix(list, QStringLiteral("ALPHA")), 0);
    EXPECT_EQ(findStringPrefix(list, QStringLiteral("alpha2")), 1);
    EXPECT_EQ(findStringPrefix(list, QStringLiteral("delta")), -1);
}

} // namespace
