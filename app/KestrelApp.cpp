#include "app/KestrelApp.h"

#include <QApplication>

#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "net/ConnectSession.h"
#include "app/KestrelDlg.h"
#include "res/Resources.h"

int CKestrelApp::InitInstance(QApplication &app)
{
    app.setApplicationName(QStringLiteral("Kestrel"));
    app.setWindowIcon(res::appIcon());
    CKestrelDlg dialog(ConnectSession::Instance(), AccountState::Instance(), ServiceBase::Instance(), {});
    if (!dialog.Create())
        return 0;
    dialog.show();
    dialog.exec();
    return 0;
}
