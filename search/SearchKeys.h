#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// How a search key is written. A key is one or more terms joined with '\';
// the ad search may add a date ("%m/%d") and an opening mark as further
// pieces. Shared by every search front end, so the same typed text always
// makes the same key.
namespace SearchKeys {

// The typed text without its leading and trailing '/' characters; white
// space stays as it is.
QString trimSlashes(const QString &typed);
// key + "\" + choice, unless the choice is empty or one of the "不选择..."
// entries, which add nothing.
QString withChoice(const QString &key, const QString &choice);
// The ad search key: the trimmed terms, then the date and the time choice.
// An empty plain key stays empty (there is nothing to search for).
QString adSearchKey(const QString &plain, const QString &date, const QString &time);

// "不选择日期", then today and the nine following days as "%m/%d".
QStringList dateChoices(const QDate &today);
// "不选择时间", the half-hour marks from 07:00 to 23:30, then the three
// all-day words.
QStringList timeChoices();

// Ad search cells longer than this many UTF-16 units show as "-".
inline constexpr qsizetype kMaxCellText = 100;
QString clipCellText(const QString &text);

// "已请求：<rows>条/共：<total>条".
QString requestedStatus(qsizetype rows, qint32 total);

} // namespace SearchKeys
