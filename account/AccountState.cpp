#include "account/AccountState.h"

#include "account/HostTools.h"

AccountState &AccountState::Instance()
{
    static AccountState state;
    return state;
}

AccountState::AccountState() : baseDir(executableDir())
{
}

AccountState::LoginFields AccountState::loginFields()
{
    std::lock_guard guard(lock);
    return {userName, password, mailbox, noticeText, linkUrl, pageUrl, loginCode, loginMessage};
}

void AccountState::resetForTests()
{
    std::lock_guard guard(lock);
    static_cast<AccountData &>(*this) = AccountData();
}

namespace {

const std::pair<const char16_t *, const char16_t *> kRemindTypes[] = {
    {u"1", u"本地提醒"},
    {u"2", u"QQ提醒"},
    {u"3", u"都提醒"},
    {u"4", u"不提醒"},
};

} // namespace

QString remindTypeText(const QString &code)
{
    for (const auto &[c, text] : kRemindTypes) {
        if (code == QStringView(c))
            return QString::fromUtf16(text);
    }
    return {};
}

QString remindTypeCode(const QString &text)
{
    for (const auto &[code, t] : kRemindTypes) {
        if (text == QStringView(t))
            return QString::fromUtf16(code);
    }
    return {};
}

QStringList remindTypeTexts()
{
    QStringList texts;
    for (const auto &entry : kRemindTypes)
        texts.append(QString::fromUtf16(entry.second));
    return texts;
}

bool remindTypeWantsPopup(const QString &code)
{
    return code == u"1" || code == u"3";
}
