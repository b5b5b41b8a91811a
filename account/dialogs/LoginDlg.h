#pragma once

#include "account/ServiceBase.h"
#include "platform/DialogWindow.h"

// Support contact put on the clipboard by the login dialog's "联系客服".
inline const QString kSupportQq = QStringLiteral("800012345");

// Asks for the user name and password and logs in to the web service. It
// always closes with OK after a login attempt; the caller reads the outcome
// from loginResult. The account state tells the same: loginCode is 0 only
// when this attempt logged in and loginMessage holds only this attempt's
// rejection text.
class LoginDlg : public platform::DialogWindow {
    Q_OBJECT
public:
    enum Control { UserNameEdit = 1009, PasswordEdit = 1010, SupportButton = 3, NewAccountButton = 1013 };

    explicit LoginDlg(QWidget *parent = nullptr);

    QString userName;
    QString password;
    // The last attempt's result; NotSent before any.
    LoginResult loginResult;

    void OnLogin();
    void OnContactSupport();
    void OnNewAccount();

protected:
    void OnCommand(int id) override;
    void OnOK() override;
};
