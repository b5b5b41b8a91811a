#pragma once

#include <QString>

// Appends "[yyyy-MM-dd HH:mm:ss] " (local time) + text + CR LF to
// log/log_all.txt under the executable's directory, creating the file but
// never the folder: without the folder nothing is written. Failures are
// swallowed; logging never disturbs the caller. Safe from any thread.
void WriteLog(const QString &text);
// The same under another base directory (which ends in '/' or not).
void WriteLog(const QString &text, const QString &baseDir);
