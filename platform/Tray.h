#pragma once

#include <functional>

#include <QIcon>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

namespace platform {

// The program's one icon in the notification area.
class ITray {
public:
    // A click on the icon: what kind, and where the pointer was (global coordinates).
    using ActivationHandler = std::function<void(QSystemTrayIcon::ActivationReason, const QPoint &)>;

    virtual ~ITray() = default;
    // False when the desktop has no notification area to put the icon in.
    virtual bool isAvailable() const = 0;
    // Puts the icon up (or replaces the one shown) and reports its clicks to onActivated.
    virtual void add(const QIcon &icon, const QString &tip, ActivationHandler onActivated) = 0;
    // Takes the icon down; its clicks are no longer reported.
    virtual void remove() = 0;
    virtual bool isAdded() const = 0;
};

// Ends the process at once, whatever its other threads are doing.
class IProcessExit {
public:
    virtual ~IProcessExit() = default;
    // Never returns in the program; stand-ins record the code.
    virtual void exitNow(int exitCode) = 0;
};

class QtTray final : public ITray {
public:
    bool isAvailable() const override;
    void add(const QIcon &icon, const QString &tip, ActivationHandler onActivated) override;
    void remove() override;
    bool isAdded() const override;

private:
    // Owned by the application object, so it never outlives it.
    QPointer<QSystemTrayIcon> icon;
};

// Flushes the C streams, then ends the process without running destructors or
// joining threads (a thread blocked in a web request must not hold the exit up).
class ImmediateProcessExit final : public IProcessExit {
public:
    [[noreturn]] void exitNow(int exitCode) override;
};

} // namespace platform
