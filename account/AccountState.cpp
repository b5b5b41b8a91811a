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
