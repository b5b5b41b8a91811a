#include "account/dialogs/LoginDlg.h"

#include <QLineEdit>

#include "account/dialogs/AccountAddDlg.h"
#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "res/Resources.h"

namespace {

// The login code of an account that has not logged in.
constexpr int kNotLoggedIn = -1;

} // namespace

LoginDlg::LoginDlg(QWidget *parent) : DialogWindow(res::dialog(res::LoginDialog), parent)
{
}

void LoginDlg::OnCommand(int id)
{
    switch (id) {
    case SupportButton:
        OnContactSupport();
        break;
    case NewAccountButton:
        OnNewAccount();
        break;
    default:
        DialogWindow::OnCommand(id);
    }
}

void LoginDlg::OnOK()
{
    OnLogin();
}

void LoginDlg::OnLogin()
{
    userName = itemText(UserNameEdit);
    password = itemText(PasswordEdit);
    AccountState &account = AccountState::Instance();
    {
        std::lock_guard guard(account.lock);
        account.userName = userName;
        account.password = password;
        // The caller judges this attempt alone: a rejection text left from an
        // earlier attempt must not be shown again after this one fails.
        account.loginCode = kNotLoggedIn;
        account.loginMessage.clear();
    }
    loginResult = Login(userName, password, QStringLiteral("1"));
    if (!loginResult.answered()) {
        // A success code in a reply too short to use still is no login; the
        // user is told it failed, so the caller must not go on as logged in.
        {
            std::lock_guard guard(account.lock);
            account.loginCode = kNotLoggedIn;
        }
        platform::showMessageBox(services(), this, QStringLiteral("登录失败，请稍后再试！"),
                                 QStringLiteral("提示"), platform::MessageIcon::Exclamation);
    }
    EndDialog(platform::IDOK);
}

void LoginDlg::OnContactSupport()
{
    platform::setClipboardText(services(), kSupportQq);
    platform::showMessageBox(services(), this,
                             QStringLiteral("客服QQ是:") + kSupportQq +
                                 QStringLiteral("  号码已经自动复制到你的剪贴板"),
                             QStringLiteral("提示"));
}

void LoginDlg::OnNewAccount()
{
    CAccountAddDlg dialog(this);
    dialog.setServices(services());
    dialog.DoModal();
}
