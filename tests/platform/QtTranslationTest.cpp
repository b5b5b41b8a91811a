#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>

#include "platform/QtTranslation.h"

// The standard buttons of message boxes and dialogs read as the system's own
// Chinese boxes do, once Qt's translation is installed.
TEST(QtTranslation, StandardButtonsReadInChinese)
{
    QTranslator translator;
    ASSERT_TRUE(platform::installQtChinese(*qApp, translator))
        << "qtbase_zh_CN.qm is missing (Debian qt6-translations-l10n)";
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    QCoreApplication::removeTranslator(&translator);
    QDialogButtonBox english(QDialogButtonBox::Ok);
    EXPECT_EQ(english.button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
}
