// The main window with its real tray icon and nothing else: no login, no threads,
// a web service that is not there. Started by TrayOnDisplayTest on its own X server.
#include <QApplication>

#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "app/KestrelDlg.h"
#include "net/ConnectSession.h"
#include "res/Resources.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    app.setWindowIcon(res::appIcon());
    // Port 1 on loopback refuses at once: the address list stays empty.
    ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), 1);
    CKestrelDlg::StartOptions options;
    options.login = [](CKestrelDlg &) { return true; };
    options.dataHost = QStringLiteral("127.0.0.1");
    options.dataPort = 1;
    options.startThreads = false;
    options.writeShortcut = false;
    options.loadFiles = false;
    CKestrelDlg window(ConnectSession::Instance(), AccountState::Instance(), ServiceBase::Instance(),
                       options);
    if (!window.Create())
        return 3;
    // Left hidden, as after a close: the tray icon has to bring it up.
    return app.exec();
}
