#include <gtest/gtest.h>

#include "account/dialogs/AccountChecks.h"

namespace {

const QString kInputWrong = QStringLiteral("输入有误，请确认！");
const QString kMismatch = QStringLiteral("两次输入密码不一致，请重新输入！");
const QString kQqUntouched = QStringLiteral("QQ输入不正确请确认！");
const QString kQqDigits = QStringLiteral("QQ号码必须为全数字！");
const QString kUserChars = QStringLiteral("账号必须以英文字母和数字组成！");
const QString kUserLong = QStringLiteral("账号长度不能大于10位！");
const QString kPasswordLong = QStringLiteral("密码长度不能大于10位！");
const QString kSame = QStringLiteral("账号密码不能一样！");

struct CheckCase {
    const char *name;
    NewAccountInput input;
    QString expected; // empty: every check passes
};

void PrintTo(const CheckCase &c, std::ostream *os)
{
    *os << c.name;
}

class CheckNewAccountTable : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckNewAccountTable, FirstFailingCheckWins)
{
    const CheckCase &c = GetParam();
    EXPECT_EQ(checkNewAccount(c.input), c.expected);
}

// Each row names the check it exercises; rows with two faults show which one is reported.
const CheckCase kCases[] = {
    // 1: a box left empty
    {"AllEmpty", {"", "", "", ""}, kInputWrong},
    {"EmptyUserName", {"", "pw1", "pw1", "123456"}, kInputWrong},
    {"EmptyRepeatBeatsMismatch", {"alice", "pw1", "", "123456"}, kInputWrong},
    {"EmptyQq", {"alice", "pw1", "pw1", ""}, kInputWrong},
    {"EmptyPasswordWithBadUserName", {"a_b", "", "", "123456"}, kInputWrong},
    // 2: passwords differ
    {"PasswordMismatch", {"alice", "pw1", "pw2", "123456"}, kMismatch},
    {"MismatchOnlyInCase", {"alice", "Secret", "secret", "123456"}, kMismatch},
    {"MismatchBeatsUntouchedQq", {"alice", "pw1", "pw2", kQqHint}, kMismatch},
    {"MismatchBeatsUnderscoreUserName", {"ali_ce", "pw1", "pw2", "123456"}, kMismatch},
    {"MismatchBeatsChineseUserName", {"张三", "pw1", "pw2", "123456"}, kMismatch},
    // 3: the QQ hint as it was when the dialog opened
    {"UntouchedQqHint", {"alice", "pw1", "pw1", kQqHint}, kQqUntouched},
    {"UntouchedQqHintBeatsBadUserName", {"a_b", "pw1", "pw1", kQqHint}, kQqUntouched},
    // 4 and 5: QQ length and digits
    {"FourDigitQq", {"alice", "pw1", "pw1", "1234"}, kQqDigits},
    {"QqWithLetter", {"alice", "pw1", "pw1", "12345a"}, kQqDigits},
    {"QqWithSpace", {"alice", "pw1", "pw1", "12345 6"}, kQqDigits},
    {"QqWithFullWidthDigits", {"alice", "pw1", "pw1", "１２３４５６"}, kQqDigits},
    {"QqWithArabicIndicDigits", {"alice", "pw1", "pw1", "١٢٣٤٥٦"}, kQqDigits},
    {"FourDigitQqBeatsChineseUserName", {"张三", "pw1", "pw1", "1234"}, kQqDigits},
    // 6: user name characters
    {"UnderscoreUserName", {"ali_ce", "pw1", "pw1", "123456"}, kUserChars},
    {"ChineseUserName", {"张三1", "pw1", "pw1", "123456"}, kUserChars},
    {"AccentedLetterUserName", {"josé", "pw1", "pw1", "123456"}, kUserChars},
    {"SpaceInUserName", {"al ice", "pw1", "pw1", "123456"}, kUserChars},
    {"BadCharacterBeatsLongUserName", {"abcdefghij_", "pw1", "pw1", "123456"}, kUserChars},
    // 7 and 8: lengths
    {"ElevenCharacterUserName", {"abcdefghijk", "pw1", "pw1", "123456"}, kUserLong},
    {"LongUserNameBeatsLongPassword", {"abcdefghijk", "12345678901", "12345678901", "123456"}, kUserLong},
    {"ElevenCharacterPassword", {"alice", "12345678901", "12345678901", "123456"}, kPasswordLong},
    {"LongPasswordBeatsSameAsUserName", {"alice", "abcdefghijk", "abcdefghijk", "123456"}, kPasswordLong},
    // 9: user name equal to the password
    {"UserNameEqualsPassword", {"alice1", "alice1", "alice1", "123456"}, kSame},
    // all pass
    {"DifferOnlyInCase", {"Alice1", "alice1", "alice1", "123456"}, QString()},
    {"AllPass", {"alice2024", "secret", "secret", "123456789"}, QString()},
    {"TenCharactersAndFiveDigits", {"abcdefghij", "0123456789", "0123456789", "10001"}, QString()},
    {"PasswordMayHoldAnyCharacter", {"alice", "p&w 密1", "p&w 密1", "12345"}, QString()},
};

INSTANTIATE_TEST_SUITE_P(AccountChecks, CheckNewAccountTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CheckCase> &info) { return info.param.name; });

} // namespace
