#include "LoginDlg.h"

#include <QLineEdit>

#include "account/AccountAddDlg.h"
#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "res/Resources.h"

LoginDlg::LoginDlg(QWidget *parent) : DialogWindow(res::Dialog(res::LoginDialog), parent)
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
    }
    if (!Login(userName, password, QStringLiteral("1")))
        platform::ShowMessageBox(services(), this, QStringLiteral("登录失败，请稍后再试！"),
                                 QStringLiteral("提示"), platform::MessageIcon::Exclamation);
    EndDialog(platform::IDOK);
}

void LoginDlg::OnContactSupport()
{
    platform::SetClipboardText(services(), kSupportQq);
    platform::ShowMessageBox(services(), this,
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
