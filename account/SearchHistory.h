#pragma once

#include <set>

#include <QString>

#include "account/AccountState.h"

// The keys the three search windows have searched for, each list backed by a
// text file in baseDir that only grows: one entry a line, in the order the
// keys were first searched, no entry twice in a file the program wrote.

enum class SearchHistory {
    ads,        // searchHis, search_his.txt
    jumps,      // searchJumpHis, search_jump_his.txt
    historyAds, // searchHisHis, search_his_his.txt
};

// Lines of a history file longer than this many characters are cut there
// when read; no key typed into a search box comes near it.
inline constexpr qsizetype kMaxSearchKeyLine = 64 * 1024;

QString searchHistoryFileName(SearchHistory which);
// baseDir + the file name.
QString searchHistoryFilePath(const AccountState &state, SearchHistory which);
std::set<QString> &searchHistoryList(AccountState &state, SearchHistory which);

// Adds every line of the history's file to its list (creating an empty file
// when it is missing). Never fails: of a damaged file (a byte short, no
// mark, not text) it takes the lines it can read, each cut at
// kMaxSearchKeyLine.
void LoadSearchHistory(AccountState &state, SearchHistory which);
// The three, in the order search_his.txt, search_jump_his.txt, search_his_his.txt.
void loadSearchHistories(AccountState &state);

// Writes the entry as a line at the end of the history's file, creating the
// file when it has gone. A file that ends in the middle of a character or
// of a line is first completed, so the entry comes back as itself. False
// when nothing was written, and for an entry holding CR or LF, which could
// not come back as one line.
bool AppendSearchHistory(const AccountState &state, SearchHistory which, const QString &entry);

// A searched key: when it is not in the list yet, appends it to the file and
// inserts it into the list, and returns true (the window then adds it to its
// key box); false for a key already listed. The list takes the key even when
// the file cannot; then one line in the activity log says so.
bool recordSearchKey(AccountState &state, SearchHistory which, const QString &key);
