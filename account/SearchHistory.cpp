#include "account/SearchHistory.h"

#include <QByteArray>
#include <QFile>

#include "account/ActivityLog.h"
#include "account/FileStream.h"

namespace {

// The bytes to write before a new line so that the file's text ends with a
// whole line: a zero byte completes a character cut in half (the lost high
// byte of a CR LF written to the end), CR LF ends a last line left open.
QByteArray repairOfEnd(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    if (size == 0)
        return {};
    QByteArray repair;
    QByteArray tail;
    if (size % 2 != 0) {
        repair.append('\0');
        file.seek(size - 1);
        tail = file.read(1) + repair;
    } else {
        file.seek(size - 2);
        tail = file.read(2);
    }
    file.seek(0);
    const char first = file.read(1).at(0);
    const qint64 units = size + repair.size();
    const qint64 textStart = char(first) == char(0xFF) && units >= 2 ? 2 : 0;
    const bool endsWithLineFeed = tail.size() == 2 && tail.at(0) == '\n' && tail.at(1) == '\0';
    if (units > textStart && !endsWithLineFeed)
        repair.append("\r\0\n\0", 4);
    return repair;
}

} // namespace

QString searchHistoryFileName(SearchHistory which)
{
    switch (which) {
    case SearchHistory::ads:
        return QStringLiteral("search_his.txt");
    case SearchHistory::jumps:
        return QStringLiteral("search_jump_his.txt");
    case SearchHistory::historyAds:
        return QStringLiteral("search_his_his.txt");
    }
    return {};
}

QString searchHistoryFilePath(const AccountState &state, SearchHistory which)
{
    return state.baseDir + searchHistoryFileName(which);
}

std::set<QString> &searchHistoryList(AccountState &state, SearchHistory which)
{
    switch (which) {
    case SearchHistory::jumps:
        return state.searchJumpHis;
    case SearchHistory::historyAds:
        return state.searchHisHis;
    case SearchHistory::ads:
        break;
    }
    return state.searchHis;
}

void LoadSearchHistory(AccountState &state, SearchHistory which)
{
    std::set<QString> &list = searchHistoryList(state, which);
    FileStream file(searchHistoryFilePath(state, which),
                    FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeRead);
    QString line;
    while (file.isOpen() && file.ReadLine(line, kMaxSearchKeyLine))
        list.insert(line);
}

void loadSearchHistories(AccountState &state)
{
    for (const SearchHistory which : {SearchHistory::ads, SearchHistory::jumps, SearchHistory::historyAds})
        LoadSearchHistory(state, which);
}

bool AppendSearchHistory(const AccountState &state, SearchHistory which, const QString &entry)
{
    if (entry.contains(QLatin1Char('\r')) || entry.contains(QLatin1Char('\n')))
        return false;
    const QString path = searchHistoryFilePath(state, which);
    const QByteArray repair = repairOfEnd(path);
    // An empty file gets the mark on opening; a file that has text and no
    // mark keeps its first character, the mark is not written over it.
    FileStream file(path, FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeWrite);
    if (!file.isOpen() || !file.SeekToEnd())
        return false;
    return file.Write(repair) && file.WriteLine(entry) && file.Flush();
}

bool recordSearchKey(AccountState &state, SearchHistory which, const QString &key)
{
    std::set<QString> &list = searchHistoryList(state, which);
    if (list.count(key) != 0)
        return false;
    if (!AppendSearchHistory(state, which, key))
        WriteLog(QStringLiteral("搜索记录未能写入%1：%2")
                     .arg(searchHistoryFileName(which), key.left(200).simplified()),
                 state.baseDir);
    list.insert(key);
    return true;
}
