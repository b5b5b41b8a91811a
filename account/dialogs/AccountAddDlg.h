#pragma once

#include <functional>

#include "account/dialogs/AccountChecks.h"
#include "platform/DialogWindow.h"

// Creates an account on the web service. Stays open on every failure.
class CAccountAddDlg : public platform::DialogWindow {
    Q_OBJECT
public:
    enum Control { UserNameEdit = 1003, PasswordEdit = 1004, RepeatEdit = 1005, QqEdit = 1007 };
    using Clock = std::function<qint64()>;

    explicit CAccountAddDlg(QWidget *parent = nullptr);

    void setClock(Clock replacement) { clock = std::move(replacement); }

    NewAccountInput input;

    // Checks the boxes and, when they pass, asks the service; true when the
    // account was created.
    bool OnCreate();

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void showError(const QString &text);
    Clock clock;
};
