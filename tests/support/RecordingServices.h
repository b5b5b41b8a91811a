#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QPointer>
#include <QStringList>

#include "platform/ResourceTypes.h"
#include "platform/Services.h"
#include "platform/Tray.h"

// Stand-ins for the platform services that record what the code asked for and never
// block or start anything: for tests, installed with ServicesOverride or setServices().

namespace platform {

class RecordingMessageBox final : public IMessageBox {
public:
    int show(const MessageBoxRequest &request) override;

    std::vector<MessageBoxRequest> shown;
    std::deque<int> answers; // answered in turn; when empty, defaultAnswer
    int defaultAnswer = IDOK;
};

class RecordingShell final : public IShell {
public:
    bool open(const QUrl &url) override;

    std::vector<QUrl> opened;
    bool succeeds = true;
};

class MemoryClipboard final : public IClipboard {
public:
    bool setText(const QString &text) override;
    QString text() const override { return content; }

    QString content;
    bool available = true; // false: every setText fails like a clipboard held by another program
    int writes = 0;
};

class FixedDesktop final : public IDesktop {
public:
    QRect workArea() const override { return area; }

    QRect area{0, 0, 1280, 984};
};

class RecordingMenuPresenter final : public IMenuPresenter {
public:
    struct Shown {
        std::vector<int> commands; // command ids of the menu's items, separators left out
        QStringList texts;
        QPoint pos;
        MenuAlign align = MenuAlign::TopLeft;
    };
    int track(QMenu &menu, const QPoint &globalPos, MenuAlign align) override;

    std::vector<Shown> shown;
    int choice = 0; // command returned, 0 for none
};

// Keeps posted calls until the test runs them.
class ManualPoster final : public IGuiPoster {
public:
    void post(QObject *context, std::function<void()> call) override;
    // Runs the calls posted so far whose context still lives; returns how many ran.
    int runPending();

    struct Pending {
        QPointer<QObject> context;
        bool hadContext = false;
        std::function<void()> call;
    };
    std::vector<Pending> pending;
};

// A notification area that keeps the icon's data; activate() clicks it.
class RecordingTray final : public ITray {
public:
    bool isAvailable() const override { return available; }
    void add(const QIcon &icon, const QString &tip, ActivationHandler onActivated) override;
    void remove() override;
    bool isAdded() const override { return added; }
    // Reports a click as the desktop would; false when no icon is up.
    bool activate(QSystemTrayIcon::ActivationReason reason, const QPoint &globalPos = QPoint(1200, 970));

    bool available = true;
    bool added = false;
    int adds = 0;
    int removes = 0;
    QIcon icon;
    QString tip;
    ActivationHandler handler;
};

// Records the exit codes asked for; the process goes on.
class RecordingProcessExit final : public IProcessExit {
public:
    void exitNow(int exitCode) override { codes.push_back(exitCode); }

    std::vector<int> codes;
};

// All of them at once.
struct RecordingServices {
    RecordingMessageBox messageBox;
    RecordingShell shell;
    MemoryClipboard clipboard;
    FixedDesktop desktop;
    RecordingMenuPresenter menus;
    ManualPoster poster;
    RecordingTray tray;
    RecordingProcessExit processExit;

    Services services()
    {
        return Services{&messageBox, &shell, &clipboard, &desktop, &menus, &poster, &tray, &processExit};
    }
};

} // namespace platform
