#include "account/ActivityLog.h"

#include <mutex>

#include <QDateTime>
#include <QDir>

#include "account/AccountState.h"
#include "account/FileStream.h"

void WriteLog(const QString &text)
{
    WriteLog(text, AccountState::Instance().baseDir);
}

void WriteLog(const QString &text, const QString &baseDir)
{
    // Stamped before waiting for the lock: lines may come out of time order
    // by the time spent waiting.
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("[yyyy-MM-dd HH:mm:ss] ")) + text;

    std::lock_guard guard(AccountState::Instance().lock);
    FileStream file;
    if (!file.Open(QDir(baseDir).filePath(QStringLiteral("log/log_all.txt")),
                   FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeWrite))
        return;
    file.SeekToEnd();
    file.WriteLine(line);
}
