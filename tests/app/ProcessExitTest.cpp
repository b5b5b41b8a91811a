#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// The tray menu's exit ends the process at once with -1, which the parent sees
// as 255, even with a thread blocked in a read; what was written stays written.
TEST(ProcessExit, EndsAtOnceWithStatus255AndKeepsWhatWasWritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("written.txt"));
    QProcess probe;
    probe.start(QStringLiteral(KESTREL_EXIT_PROBE), {path});
    ASSERT_TRUE(probe.waitForStarted(10'000)) << probe.errorString().toStdString();
    ASSERT_TRUE(probe.waitForFinished(10'000)) << "the exit waited for the blocked thread";
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 255);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("saved before the exit\n"));
}
