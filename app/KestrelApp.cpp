#include "app/KestrelApp.h"

#include <QApplication>
#include <QTranslator>

#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "net/ConnectSession.h"
#include "app/KestrelDlg.h"
#include "platform/QtTranslation.h"
#include "res/Resources.h"

int CKestrelApp::InitInstance(QApplication &app)
{
    app.setApplicationName(QStringLiteral("Kestrel"));
    QTranslator qtTexts;
    platform::installQtChinese(app, qtTexts);
    app.setWindowIcon(res::appIcon());
    // Closing the main window only hides it; the program goes on in the tray.
    app.setQuitOnLastWindowClosed(false);
    CKestrelDlg dialog(ConnectSession::Instance(), AccountState::Instance(), ServiceBase::Instance(), {});
    if (!dialog.Create())
        return 0;
    // The application's loop, not a modal one on the window: hiding a dialog ends
    // its modal loop. Enter or Escape (the dialog's OK or Cancel) end the program.
    QObject::connect(&dialog, &QDialog::finished, &app, &QApplication::quit);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    app.exec();
    return 0;
}
