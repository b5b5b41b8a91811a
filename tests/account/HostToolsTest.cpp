#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "account/HostTools.h"

namespace {

const QString kLauncher = QString::fromUtf16(kShortcutName) + QStringLiteral(".desktop");

QString read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST(ResolveHost, DigitsAndDotsStayAsTheyAre)
{
    for (const char *host : {"10.1.2.3", "....", "999.1", ""})
        EXPECT_EQ(ResolveHost(host), QString::fromLatin1(host));
}

TEST(ResolveHost, NameGivesItsIPv4Address)
{
    EXPECT_EQ(ResolveHost("localhost"), QStringLiteral("127.0.0.1"));
}

TEST(ResolveHost, UnusableNameGivesEmptyText)
{
    // Malformed names are refused before any resolver is asked.
    EXPECT_EQ(ResolveHost("bad..name"), QString());
    EXPECT_EQ(ResolveHost("a b"), QString());
}

TEST(ExecutablePaths, DirectoryOfTheRunningProgram)
{
    EXPECT_EQ(executablePath(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(executableDir(), QCoreApplication::applicationDirPath() + '/');
    EXPECT_TRUE(QFileInfo(executablePath()).isExecutable());
}

TEST(DesktopEntry, PlainPath)
{
    EXPECT_EQ(desktopEntryText("/opt/vorlant/kestrel"),
              QStringLiteral("[Desktop Entry]\nType=Application\nName=Vorlant-\u9ad8\u9636\u7248\n"
                             "Comment=Vorlant-\u9ad8\u9636\u7248\nExec=/opt/vorlant/kestrel\n"
                             "Path=/opt/vorlant/\nTerminal=false\n"));
}

TEST(DesktopEntry, ReservedCharactersAreQuoted)
{
    const QString text = desktopEntryText(QStringLiteral("/home/a b/$x\"y`z\\w/100%/\u4e2d/run"));
    // Inside quotes ", `, $ and \ get a backslash, which the string value
    // doubles again; % is doubled so that it is not a field code.
    EXPECT_TRUE(
        text.contains(QStringLiteral("\nExec=\"/home/a b/\\\\$x\\\\\"y\\\\`z\\\\\\\\w/100%%/\u4e2d/run\"\n")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("\nPath=/home/a b/$x\"y`z\\\\w/100%/\u4e2d/\n")))
        << qPrintable(text);
}

TEST(DesktopShortcut, WrittenAndRewrittenInTheDesktopFolder)
{
    QTemporaryDir desktop;
    ASSERT_TRUE(desktop.isValid());
    const QString launcher = QDir(desktop.path()).filePath(kLauncher);

    ASSERT_TRUE(CreateDesktopShortcut(desktop.path()));
    const QString first = read(launcher);
    EXPECT_EQ(first, desktopEntryText(executablePath()));
    EXPECT_TRUE(first.contains("\nExec=" + executablePath() + "\n")) << qPrintable(first);
    EXPECT_TRUE(first.contains("\nPath=" + executableDir() + "\n")) << qPrintable(first);
    EXPECT_TRUE(QFileInfo(launcher).isExecutable());

    { // a stale launcher from an earlier start is replaced
        QFile stale(launcher);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stale.write("[Desktop Entry]\nExec=/old/place\n");
    }
    ASSERT_TRUE(CreateDesktopShortcut(desktop.path()));
    EXPECT_EQ(read(launcher), first);
    EXPECT_EQ(QDir(desktop.path()).entryList(QDir::Files | QDir::Hidden), QStringList({kLauncher}));
}

TEST(DesktopShortcut, NoDesktopFolderNoLauncher)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString missing = QDir(home.path()).filePath("Desktop");
    EXPECT_FALSE(CreateDesktopShortcut(missing));
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_FALSE(CreateDesktopShortcut(QString()));
}
