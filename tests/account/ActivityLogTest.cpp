#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "account/AccountState.h"
#include "account/ActivityLog.h"
#include "account/FileStream.h"

class ActivityLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(base.isValid());
        ASSERT_TRUE(QDir(base.path()).mkdir("log"));
    }
    QString logPath() const { return base.filePath("log/log_all.txt"); }
    QByteArray bytes() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList lines() const
    {
        FileStream file(logPath(), FileStream::modeRead);
        QStringList out;
        QString line;
        while (file.isOpen() && file.ReadLine(line))
            out.append(line);
        return out;
    }

    QTemporaryDir base;
};

TEST_F(ActivityLog, FirstCallCreatesMarkedFileWithOneStampedLine)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    WriteLog(QStringLiteral("0;a.example;1"), base.path());
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QByteArray raw = bytes();
    ASSERT_TRUE(raw.startsWith("\xFF\xFE"));
    EXPECT_TRUE(raw.endsWith(QByteArray("\r\0\n\0", 4)));
    const QStringList all = lines();
    ASSERT_EQ(all.size(), 1);
    static const QRegularExpression format(
        QStringLiteral("^\\[(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)\\] 0;a\\.example;1$"));
    const QRegularExpressionMatch match = format.match(all[0]);
    ASSERT_TRUE(match.hasMatch()) << qPrintable(all[0]);
    const QDateTime stamp = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_GE(stamp, before.addMSecs(-before.time().msec()));
    EXPECT_LE(stamp, after);
}

TEST_F(ActivityLog, AppendsWithoutRepeatingTheMark)
{
    WriteLog(QStringLiteral("first"), base.path() + '/');
    WriteLog(QString(), base.path());
    WriteLog(QStringLiteral("two\r\nlines"), base.path());
    const QByteArray raw = bytes();
    EXPECT_EQ(raw.count(QByteArray("\xFF\xFE")), 1);
    const QStringList all = lines();
    ASSERT_EQ(all.size(), 4);
    EXPECT_TRUE(all[0].endsWith("] first"));
    EXPECT_EQ(all[1].size(), 22); // "[yyyy-MM-dd HH:mm:ss] " and nothing else
    EXPECT_TRUE(all[1].endsWith("] "));
    EXPECT_TRUE(all[2].endsWith("] two"));
    EXPECT_EQ(all[3], "lines");
}

TEST_F(ActivityLog, NothingWithoutTheFolder)
{
    ASSERT_TRUE(QDir(base.path()).rmdir("log"));
    WriteLog(QStringLiteral("lost"), base.path());
    EXPECT_FALSE(QDir(base.path()).exists("log"));
    EXPECT_TRUE(QDir(base.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(ActivityLog, DefaultsToTheAccountBaseDirectory)
{
    AccountState &state = AccountState::Instance();
    const QString saved = state.baseDir;
    state.baseDir = base.path() + '/';
    WriteLog(QStringLiteral("here"));
    state.baseDir = saved;
    ASSERT_EQ(lines().size(), 1);
    EXPECT_TRUE(lines()[0].endsWith("] here"));
}

TEST_F(ActivityLog, ConcurrentWritersProduceWholeLines)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 40;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i)
                WriteLog(QStringLiteral("writer %1 line %2 ").arg(t).arg(i) + QString(100, u'x'),
                         base.path());
        });
    for (std::thread &writer : writers)
        writer.join();

    const QStringList all = lines();
    ASSERT_EQ(all.size(), kThreads * kEach);
    static const QRegularExpression whole(QStringLiteral("^\\[[^\\]]{19}\\] writer \\d line \\d+ x{100}$"));
    for (const QString &line : all)
        EXPECT_TRUE(whole.match(line).hasMatch()) << qPrintable(line);
    EXPECT_EQ(bytes().count(QByteArray("\xFF\xFE")), 1);
}
