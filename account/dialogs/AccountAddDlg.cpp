#include "account/dialogs/AccountAddDlg.h"

#include <QDateTime>
#include <QLineEdit>

#include "account/ServiceBase.h"
#include "res/Resources.h"

CAccountAddDlg::CAccountAddDlg(QWidget *parent)
    : DialogWindow(res::dialog(res::AccountAddDialog), parent),
      clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
    input.qq = kQqHint;
}

bool CAccountAddDlg::OnInitDialog()
{
    for (const auto &[id, limit] :
         {std::pair{UserNameEdit, 10}, {PasswordEdit, 10}, {RepeatEdit, 10}, {QqEdit, 20}}) {
        if (auto *edit = control<QLineEdit>(id))
            edit->setMaxLength(limit);
    }
    setItemText(QqEdit, input.qq);
    return true;
}

void CAccountAddDlg::OnOK()
{
    OnCreate();
}

void CAccountAddDlg::showError(const QString &text)
{
    platform::showMessageBox(services(), this, text, QStringLiteral("错误"), platform::MessageIcon::Stop);
}

bool CAccountAddDlg::OnCreate()
{
    input.userName = itemText(UserNameEdit);
    input.password = itemText(PasswordEdit);
    input.passwordRepeated = itemText(RepeatEdit);
    input.qq = itemText(QqEdit);
    const QString problem = checkNewAccount(input);
    if (!problem.isEmpty()) {
        showError(problem);
        return false;
    }
    const std::optional<QString> reply = ServiceBase::Instance().fetch(accountAddRequest(input, clock()));
    const QString replyProblem = accountAddProblem(reply);
    if (!replyProblem.isEmpty()) {
        showError(replyProblem);
        return false;
    }
    platform::showMessageBox(services(), this,
                             QStringLiteral("成功！  \n你的账号为:") + input.userName +
                                 QStringLiteral("\n密码为:") + input.password,
                             QStringLiteral("提示"), platform::MessageIcon::Information);
    EndDialog(platform::IDOK);
    return true;
}
