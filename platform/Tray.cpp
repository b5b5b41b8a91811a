#include "platform/Tray.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QCursor>

namespace platform {

bool QtTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::add(const QIcon &image, const QString &tip, ActivationHandler onActivated)
{
    if (!icon)
        icon = new QSystemTrayIcon(QCoreApplication::instance());
    icon->disconnect();
    icon->setIcon(image);
    icon->setToolTip(tip);
    QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                     [handler = std::move(onActivated)](QSystemTrayIcon::ActivationReason reason) {
                         if (handler)
                             handler(reason, QCursor::pos());
                     });
    icon->show();
}

void QtTray::remove()
{
    if (!icon)
        return;
    icon->hide();
    icon->disconnect();
}

bool QtTray::isAdded() const
{
    return icon && icon->isVisible();
}

void ImmediateProcessExit::exitNow(int exitCode)
{
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace platform
