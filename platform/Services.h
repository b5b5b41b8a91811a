#pragma once

#include <functional>
#include <memory>

#include <QPoint>
#include <QRect>
#include <QString>
#include <QUrl>

class QMenu;
class QObject;
class QWidget;

namespace platform {

class ITray;
class IProcessExit;

// Answers of a message box, numbered like the Windows ones.
enum MessageBoxResult { IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

enum class MessageIcon { None, Information, Exclamation, Stop, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };

struct MessageBoxRequest {
    QWidget *parent = nullptr;
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// Modal message box; returns IDOK, IDCANCEL, IDYES, ...
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual int show(const MessageBoxRequest &request) = 0;
};

// Hands an address to the desktop ("open" verb). Callers go through ShellOpen, which
// decides what may be opened at all.
class IShell {
public:
    virtual ~IShell() = default;
    virtual bool open(const QUrl &url) = 0;
};

class IClipboard {
public:
    virtual ~IClipboard() = default;
    // False when the clipboard could not be taken; its content is then unchanged.
    virtual bool setText(const QString &text) = 0;
    virtual QString text() const = 0;
};

class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Screen area without task bars, in global coordinates.
    virtual QRect workArea() const = 0;
    // The work area of the screen a window is on; that of the main screen by default.
    virtual QRect workAreaOf(const QWidget *window) const
    {
        (void)window;
        return workArea();
    }
};

enum class MenuAlign { TopLeft, TopRight };

// Shows a context menu and returns the command chosen, 0 for none.
class IMenuPresenter {
public:
    virtual ~IMenuPresenter() = default;
    virtual int track(QMenu &menu, const QPoint &globalPos, MenuAlign align) = 0;
};

// Runs a callable later on the GUI thread; safe to call from any thread. The call is
// dropped when context is destroyed first.
class IGuiPoster {
public:
    virtual ~IGuiPoster() = default;
    virtual void post(QObject *context, std::function<void()> call) = 0;
};

// The set of platform services a piece of code uses. Members are never null once
// obtained from currentServices().
struct Services {
    IMessageBox *messageBox = nullptr;
    IShell *shell = nullptr;
    IClipboard *clipboard = nullptr;
    IDesktop *desktop = nullptr;
    IMenuPresenter *menus = nullptr;
    IGuiPoster *poster = nullptr;
    ITray *tray = nullptr;
    IProcessExit *processExit = nullptr;

    // Fills null members from `fallback`.
    Services mergedWith(const Services &fallback) const;
};

// The services installed for the process: the Qt ones unless a ServicesOverride is alive.
Services currentServices();

// Installs the non-null members of `replacement` for its lifetime (tests, deep call sites).
// Overrides nest; destroy them in reverse order.
class ServicesOverride {
public:
    explicit ServicesOverride(const Services &replacement);
    ~ServicesOverride();
    ServicesOverride(const ServicesOverride &) = delete;
    ServicesOverride &operator=(const ServicesOverride &) = delete;

private:
    Services previous;
};

// Convenience calls through a Services set (the current one by default).
int showMessageBox(const Services &services, QWidget *parent, const QString &text, const QString &caption,
                   MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok);
int showMessageBox(QWidget *parent, const QString &text, const QString &caption,
                   MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok);
// Opens a text from the server or the user when SafeOpenTarget allows it.
bool shellOpen(const Services &services, const QString &text);
bool shellOpen(const QString &text);
bool setClipboardText(const Services &services, const QString &text);
bool setClipboardText(const QString &text);
QRect workArea();
void postToGui(QObject *context, std::function<void()> call);

// The Qt implementations behind currentServices().
class QtMessageBox final : public IMessageBox {
public:
    int show(const MessageBoxRequest &request) override;
};
class QtShell final : public IShell {
public:
    bool open(const QUrl &url) override;
};
class QtClipboard final : public IClipboard {
public:
    bool setText(const QString &text) override;
    QString text() const override;
};
class QtDesktop final : public IDesktop {
public:
    QRect workArea() const override;
    QRect workAreaOf(const QWidget *window) const override;
};
class QtMenuPresenter final : public IMenuPresenter {
public:
    int track(QMenu &menu, const QPoint &globalPos, MenuAlign align) override;
};
class QtGuiPoster final : public IGuiPoster {
public:
    void post(QObject *context, std::function<void()> call) override;
};

} // namespace platform
