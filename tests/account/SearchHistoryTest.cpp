#include <gtest/gtest.h>

#include <optional>
#include <set>

#include <QFile>
#include <QFileInfo>

#include "account/SearchHistory.h"
#include "tests/support/AccountFiles.h"

using TestSupport::utf16le;

namespace {

const QByteArray kMark = TestSupport::kUtf16Mark;
const QString kHugeLine(100000, u'x');

using Entries = std::set<QString>;

const SearchHistory kAllHistories[] = {SearchHistory::ads, SearchHistory::jumps, SearchHistory::historyAds};

} // namespace

// The history files of the account state in a directory of their own.
class SearchHistoryFileTest : public TestSupport::AccountDirTest {
protected:
    static QString fileOf(SearchHistory which) { return searchHistoryFileName(which); }
};

TEST_F(SearchHistoryFileTest, EachHistoryHasItsFileAndList)
{
    struct Case {
        SearchHistory which;
        const char *fileName;
        std::set<QString> AccountState::*list;
    };
    const Case cases[] = {
        {SearchHistory::ads, "search_his.txt", &AccountState::searchHis},
        {SearchHistory::jumps, "search_jump_his.txt", &AccountState::searchJumpHis},
        {SearchHistory::historyAds, "search_his_his.txt", &AccountState::searchHisHis},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fileName);
        EXPECT_EQ(searchHistoryFilePath(state, c.which), path(c.fileName));
        EXPECT_EQ(&searchHistoryList(state, c.which), &(state.*c.list));
        put(c.fileName, kMark + utf16le(QStringLiteral("%1\r\n").arg(c.fileName)));
    }
    loadSearchHistories(state);
    for (const Case &c : cases)
        EXPECT_EQ(state.*c.list, Entries{c.fileName});
}

TEST_F(SearchHistoryFileTest, MissingFilesAreCreatedEmptyAndTheFirstAppendWritesTheMark)
{
    loadSearchHistories(state);
    for (const SearchHistory which : kAllHistories) {
        SCOPED_TRACE(fileOf(which).toStdString());
        EXPECT_TRUE(QFile::exists(path(fileOf(which))));
        EXPECT_EQ(contents(fileOf(which)), QByteArray());
        EXPECT_TRUE(searchHistoryList(state, which).empty());
    }
    EXPECT_TRUE(recordSearchKey(state, SearchHistory::ads, "abc"));
    EXPECT_EQ(contents("search_his.txt"), QByteArray("\xFF\xFE"
                                                     "a\0b\0c\0\r\0\n\0",
                                                     12));
    EXPECT_EQ(state.searchHis, Entries{"abc"});
    EXPECT_EQ(contents("search_jump_his.txt"), QByteArray());
}

TEST_F(SearchHistoryFileTest, LoadTakesEveryLineOnce)
{
    struct Case {
        const char *name;
        QByteArray file;
        Entries expected;
    };
    const Case cases[] = {
        {"duplicates once, in ordinal order", kMark + utf16le("b\r\na\r\nb\r\n"), {"a", "b"}},
        {"no mark", utf16le("b\r\na\r\n"), {"a", "b"}},
        {"LF alone ends a line", kMark + utf16le("b\na\n"), {"a", "b"}},
        {"CR inside a line is dropped", kMark + utf16le("a\rb\r\n"), {"ab"}},
        {"letter case counts", kMark + utf16le("ABC\r\nabc\r\n"), {"ABC", "abc"}},
        {"empty line is the empty entry", kMark + utf16le("a\r\n\r\nb\r\n"), {"", "a", "b"}},
        {"last line without its end", kMark + utf16le("a\r\nb"), {"a", "b"}},
        {"Chinese keys", kMark + utf16le("传奇\r\n私服\r\n"), {"传奇", "私服"}},
        {"mark only", kMark, {}},
        {"first byte FF is a mark whatever follows", QByteArray("\xFF\x41", 2) + utf16le("a\r\n"), {"a"}},
        {"odd byte at the end is dropped", kMark + utf16le("a\r\nb\r\n") + "c", {"a", "b"}},
        {"line end cut in half", kMark + utf16le("a\r\nb\r") + "\n", {"a", "b"}},
        {"single byte", QByteArray("a"), {}},
        {"UTF-8 text is read as units", QByteArray("abc\n"), {QString::fromUtf16(u"\u6261\u0a63")}},
        {"huge line is cut",
         kMark + utf16le(kHugeLine + "\r\nb\r\n"),
         {kHugeLine.left(kMaxSearchKeyLine), "b"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        state.resetForTests();
        put("search_his_his.txt", c.file);
        LoadSearchHistory(state, SearchHistory::historyAds);
        EXPECT_EQ(state.searchHisHis, c.expected);
        EXPECT_EQ(contents("search_his_his.txt"), c.file) << "loading leaves the file as it is";
    }
}

TEST_F(SearchHistoryFileTest, AppendAddsOneWholeLineAndKeepsWhatIsThere)
{
    struct Case {
        const char *name;
        std::optional<QByteArray> before; // nullopt: no file
        QString entry;
        QByteArray after;
    };
    const Case cases[] = {
        {"empty file gets the mark", QByteArray(), "abc", kMark + utf16le("abc\r\n")},
        {"mark only", kMark, "a", kMark + utf16le("a\r\n")},
        {"at the end", kMark + utf16le("a\r\n"), "b", kMark + utf16le("a\r\nb\r\n")},
        {"empty key", kMark + utf16le("a\r\n"), "", kMark + utf16le("a\r\n\r\n")},
        {"Chinese key", kMark + utf16le("a\r\n"), "传奇", kMark + utf16le("a\r\n传奇\r\n")},
        {"no mark: the first character stays", utf16le("a\r\n"), "b", utf16le("a\r\nb\r\n")},
        {"LF-only file", kMark + utf16le("a\n"), "b", kMark + utf16le("a\nb\r\n")},
        {"last line left open is ended", kMark + utf16le("a"), "b", kMark + utf16le("a\r\nb\r\n")},
        {"line end cut in half is completed", kMark + utf16le("a\r") + "\n", "b",
         kMark + utf16le("a\r\nb\r\n")},
        {"character cut in half is completed", kMark + utf16le("a") + "b", "c",
         kMark + utf16le("ab\r\nc\r\n")},
        {"lone mark byte", QByteArray("\xFF"), "a", QByteArray("\xFF\x00", 2) + utf16le("a\r\n")},
        {"file deleted since loading", std::nullopt, "a", kMark + utf16le("a\r\n")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path("search_his.txt"));
        if (c.before)
            put("search_his.txt", *c.before);
        EXPECT_TRUE(AppendSearchHistory(state, SearchHistory::ads, c.entry));
        EXPECT_EQ(contents("search_his.txt"), c.after);

        // What was there comes back, and the entry with it.
        state.resetForTests();
        LoadSearchHistory(state, SearchHistory::ads);
        EXPECT_EQ(state.searchHis.count(c.entry), 1u);
    }
}

TEST_F(SearchHistoryFileTest, KeyWithALineBreakIsNotWritten)
{
    const QByteArray before = kMark + utf16le("a\r\n");
    for (const QString &key : {QStringLiteral("x\ny"), QStringLiteral("x\ry"), QStringLiteral("\n")}) {
        put("search_jump_his.txt", before);
        EXPECT_FALSE(AppendSearchHistory(state, SearchHistory::jumps, key));
        EXPECT_EQ(contents("search_jump_his.txt"), before);
    }
}

TEST_F(SearchHistoryFileTest, RecordAppendsOnlyNewKeys)
{
    put("search_jump_his.txt", kMark + utf16le("b\r\na\r\nb\r\n"));
    LoadSearchHistory(state, SearchHistory::jumps);

    struct Step {
        const char *key;
        bool added;
    };
    const Step steps[] = {{"b", false}, {"B", true}, {"c", true}, {"c", false}, {"", true}, {"", false}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.key);
        EXPECT_EQ(recordSearchKey(state, SearchHistory::jumps, step.key), step.added);
    }
    EXPECT_EQ(contents("search_jump_his.txt"), kMark + utf16le("b\r\na\r\nb\r\nB\r\nc\r\n\r\n"));
    EXPECT_EQ(state.searchJumpHis, (Entries{"", "B", "a", "b", "c"}));

    const Entries recorded = state.searchJumpHis;
    state.resetForTests();
    LoadSearchHistory(state, SearchHistory::jumps);
    EXPECT_EQ(state.searchJumpHis, recorded);
}

TEST_F(SearchHistoryFileTest, UnreachableDirectoryLeavesTheListsEmptyAndKeepsTheKeysForTheRun)
{
    state.baseDir = path("missing-directory") + '/';
    loadSearchHistories(state);
    for (const SearchHistory which : kAllHistories)
        EXPECT_TRUE(searchHistoryList(state, which).empty());
    EXPECT_FALSE(QFileInfo::exists(path("missing-directory")));

    EXPECT_FALSE(AppendSearchHistory(state, SearchHistory::ads, "a"));
    EXPECT_TRUE(recordSearchKey(state, SearchHistory::ads, "a"));
    EXPECT_EQ(state.searchHis, Entries{"a"});
    EXPECT_FALSE(recordSearchKey(state, SearchHistory::ads, "a"));
}
