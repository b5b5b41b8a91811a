#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>

#include <memory>
#include <set>

#include "tests/support/WaitUntil.h"

// The real tray icon on an X server of our own, with trayer as the notification
// area and xdotool as the user: a left click shows the hidden main window, a right
// click offers the menu whose item ends the program with 255.
namespace {

constexpr int kDeadlineMs = 15'000;
// Starting the X server and the tray host takes longest on a loaded machine.
constexpr int kStartDeadlineMs = 60'000;

class TrayOnDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"Xvfb", "trayer", "xdotool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        env = QProcessEnvironment::systemEnvironment();
        // No session bus: Qt then uses the X11 notification area trayer provides.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
        ASSERT_TRUE(startDisplay()) << serverLog.toStdString();
        trayer = start(QStringLiteral("trayer"), {"--edge", "top", "--align", "left", "--widthtype", "pixel",
                                                  "--width", "64", "--heighttype", "pixel", "--height", "32",
                                                  "--SetDockType", "false", "--expand", "false"});
        ASSERT_TRUE(WaitUntil(
            [&] {
                return !windows({"--name", "^panel$"}).empty();
            },
            kStartDeadlineMs))
            << "trayer did not start on " << display.toStdString() << "; "
            << (trayer->state() == QProcess::NotRunning ? "it ended: " : "it runs: ")
            << trayer->readAllStandardError().toStdString();
    }

    void TearDown() override
    {
        for (std::unique_ptr<QProcess> *p : {&probe, &trayer, &server})
            stop(*p);
    }

    // Asked to end first, so that Xvfb removes its lock file and socket: one
    // left behind may be claimed by two servers starting at once.
    static void stop(std::unique_ptr<QProcess> &process)
    {
        if (!process || process->state() == QProcess::NotRunning)
            return;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    // A display of our own. Xvfb picks a free one itself and writes its number
    // to our pipe; should another server claim the same number at the same
    // moment (a stale lock), the display does not open and another is started.
    bool startDisplay()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            stop(server);
            if (startServer() && displayOpens())
                return true;
            serverLog += QString::fromLocal8Bit(server->readAllStandardError());
        }
        return false;
    }

    bool startServer()
    {
        server = std::make_unique<QProcess>();
        server->start(QStringLiteral("Xvfb"),
                      {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
        QDeadlineTimer deadline(kStartDeadlineMs);
        QByteArray number;
        while (!number.endsWith('\n')) {
            if (deadline.hasExpired() || !server->waitForReadyRead(int(deadline.remainingTime())))
                return false;
            number += server->readAllStandardOutput();
        }
        display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        env.insert(QStringLiteral("DISPLAY"), display);
        return true;
    }

    bool displayOpens()
    {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), {"getdisplaygeometry"});
        const bool opened = tool.waitForFinished(kStartDeadlineMs) &&
                            tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
        if (!opened)
            serverLog += display + QStringLiteral(": ") + QString::fromLocal8Bit(tool.readAllStandardError());
        return opened && server->state() == QProcess::Running;
    }

    std::unique_ptr<QProcess> start(const QString &program, const QStringList &args)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->start(program, args);
        EXPECT_TRUE(process->waitForStarted(5000)) << program.toStdString();
        return process;
    }

    QString xdotool(const QStringList &args)
    {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), args);
        tool.waitForFinished(5000);
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

    // Visible windows matching an xdotool search.
    std::set<QString> windows(const QStringList &search)
    {
        std::set<QString> ids;
        const QString out = xdotool(QStringList{"search", "--onlyvisible"} + search);
        for (const QString &id : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            ids.insert(id.trimmed());
        return ids;
    }

    QRect geometry(const QString &window)
    {
        QRect rect;
        const QString out = xdotool({"getwindowgeometry", "--shell", window});
        for (const QString &line : out.split(QLatin1Char('\n'))) {
            const int value = line.section(QLatin1Char('='), 1).toInt();
            if (line.startsWith(QLatin1String("X=")))
                rect.moveLeft(value);
            else if (line.startsWith(QLatin1String("Y=")))
                rect.moveTop(value);
            else if (line.startsWith(QLatin1String("WIDTH=")))
                rect.setWidth(value);
            else if (line.startsWith(QLatin1String("HEIGHT=")))
                rect.setHeight(value);
        }
        return rect;
    }

    void click(const QPoint &at, int button)
    {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
                 QString::number(button)});
    }

    template <class Condition> static bool poll(Condition condition)
    {
        return WaitUntil(condition, kDeadlineMs);
    }

    QString display;
    QString serverLog; // what went wrong with displays that did not open
    QProcessEnvironment env;
    std::unique_ptr<QProcess> server;
    std::unique_ptr<QProcess> trayer;
    std::unique_ptr<QProcess> probe;
};

TEST_F(TrayOnDisplay, LeftClickShowsTheWindowAndTheMenuItemEndsTheProgram)
{
    probe = start(QStringLiteral(KESTREL_TRAY_PROBE), {});
    const QPoint icon(16, 16); // the first icon of the 32-pixel-high tray at the top left
    const QStringList mainWindow{"--name", "^Vorlant-"};
    ASSERT_TRUE(windows(mainWindow).empty()) << "the window starts hidden";
    // Until the icon is embedded a click lands on the tray itself and does nothing.
    ASSERT_TRUE(poll([&] {
        click(icon, 1);
        return !windows(mainWindow).empty() || probe->state() == QProcess::NotRunning;
    })) << "a left click on the icon did not show the window";
    ASSERT_EQ(probe->state(), QProcess::Running);

    const QStringList ofProbe{"--classname", "^kestrel_tray_probe$"};
    const std::set<QString> before = windows(ofProbe);
    click(icon, 3);
    QString menu;
    ASSERT_TRUE(poll([&] {
        for (const QString &id : windows(ofProbe))
            if (!before.count(id))
                menu = id;
        return !menu.isEmpty();
    })) << "a right click showed no menu";
    const QRect item = geometry(menu);
    ASSERT_GT(item.height(), 0);
    ASSERT_LT(item.height(), 40) << "one item";
    click(item.center(), 1);
    ASSERT_TRUE(probe->waitForFinished(kDeadlineMs)) << "the exit command did not end the program";
    EXPECT_EQ(probe->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe->exitCode(), 255);
}

} // namespace
