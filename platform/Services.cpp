#include "platform/Services.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include "platform/ResourceTypes.h"
#include "platform/SafeOpen.h"
#include "platform/Tray.h"
#include "base/ThreadHandoff.h"

namespace platform {

namespace {

Services &installed()
{
    static QtMessageBox messageBox;
    static QtShell shell;
    static QtClipboard clipboard;
    static QtDesktop desktop;
    static QtMenuPresenter menus;
    static QtGuiPoster poster;
    static QtTray tray;
    static ImmediateProcessExit processExit;
    static Services services{&messageBox, &shell, &clipboard, &desktop, &menus, &poster, &tray, &processExit};
    return services;
}

template <class T> T *pick(T *preferred, T *fallback)
{
    return preferred ? preferred : fallback;
}

} // namespace

Services Services::mergedWith(const Services &fallback) const
{
    return Services{pick(messageBox, fallback.messageBox),
                    pick(shell, fallback.shell),
                    pick(clipboard, fallback.clipboard),
                    pick(desktop, fallback.desktop),
                    pick(menus, fallback.menus),
                    pick(poster, fallback.poster),
                    pick(tray, fallback.tray),
                    pick(processExit, fallback.processExit)};
}

Services currentServices()
{
    return installed();
}

ServicesOverride::ServicesOverride(const Services &replacement) : previous(installed())
{
    installed() = replacement.mergedWith(previous);
}

ServicesOverride::~ServicesOverride()
{
    installed() = previous;
}

int showMessageBox(const Services &services, QWidget *parent, const QString &text, const QString &caption,
                   MessageIcon icon, MessageButtons buttons)
{
    const Services s = services.mergedWith(currentServices());
    return s.messageBox->show(MessageBoxRequest{parent, text, caption, icon, buttons});
}

int showMessageBox(QWidget *parent, const QString &text, const QString &caption, MessageIcon icon,
                   MessageButtons buttons)
{
    return showMessageBox(currentServices(), parent, text, caption, icon, buttons);
}

bool shellOpen(const Services &services, const QString &text)
{
    const std::optional<QUrl> target = safeOpenTarget(text);
    if (!target)
        return false;
    return services.mergedWith(currentServices()).shell->open(*target);
}

bool shellOpen(const QString &text)
{
    return shellOpen(currentServices(), text);
}

bool setClipboardText(const Services &services, const QString &text)
{
    return services.mergedWith(currentServices()).clipboard->setText(text);
}

bool setClipboardText(const QString &text)
{
    return setClipboardText(currentServices(), text);
}

QRect workArea()
{
    return currentServices().desktop->workArea();
}

void postToGui(QObject *context, std::function<void()> call)
{
    currentServices().poster->post(context, std::move(call));
}

int QtMessageBox::show(const MessageBoxRequest &request)
{
    QMessageBox box(request.parent);
    box.setWindowTitle(request.caption);
    // The text may come from the server or the user: markup in it is shown, never obeyed.
    box.setTextFormat(Qt::PlainText);
    box.setText(request.text);
    switch (request.icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int result;
    };
    std::vector<Choice> choices;
    switch (request.buttons) {
    case MessageButtons::Ok:
        choices = {{QMessageBox::Ok, IDOK}};
        break;
    case MessageButtons::OkCancel:
        choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MessageButtons::YesNo:
        choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        break;
    case MessageButtons::YesNoCancel:
        choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MessageButtons::RetryCancel:
        choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice &c : choices)
        buttons |= c.button;
    box.setStandardButtons(buttons);
    box.setDefaultButton(choices.front().button);
    box.setEscapeButton(choices.back().button);
    const int answer = box.exec();
    for (const Choice &c : choices)
        if (answer == c.button)
            return c.result;
    // Closed without a button: what Escape would have chosen.
    return choices.back().result;
}

bool QtShell::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool QtClipboard::setText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return true;
}

QString QtClipboard::text() const
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->text() : QString();
}

QRect QtDesktop::workArea() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QRect QtDesktop::workAreaOf(const QWidget *window) const
{
    const QScreen *screen = window ? window->screen() : nullptr;
    return screen ? screen->availableGeometry() : workArea();
}

int QtMenuPresenter::track(QMenu &menu, const QPoint &globalPos, MenuAlign align)
{
    QPoint pos = globalPos;
    if (align == MenuAlign::TopRight)
        pos.rx() -= menu.sizeHint().width();
    const QAction *chosen = menu.exec(pos);
    return chosen ? chosen->data().toInt() : 0;
}

void QtGuiPoster::post(QObject *context, std::function<void()> call)
{
    QObject *target = context ? context : QCoreApplication::instance();
    if (!target)
        return;
    base::postQueued(target, std::move(call));
}

} // namespace platform
