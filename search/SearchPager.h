#pragma once

#include <optional>

#include <QString>

// The paging state of one search window: which key is running, which page
// was asked for last, and what the last answer said about the rest. The
// server's answers carry no reference to their request, so whatever arrives
// is the next page of the current key.
//
// A new search waits for the first answer of the one before it. So that a
// lost answer cannot block the window for good, a search that has waited
// kAnswerWaitMs, or that was sent before the connection was made anew, no
// longer holds the next one back.
class SearchPager {
public:
    static constexpr qint64 kAnswerWaitMs = 30'000;

    // firstIndex: the index of a search's first page (1 for ads, 0 for the
    // others). honoursSearchType: an answer's search type 1 ends paging.
    SearchPager(int firstIndex, bool honoursSearchType);

    // Whether a new search may go out. nowMs is a steady clock;
    // connectionGeneration counts the connections made so far.
    bool canStart(qint64 nowMs, int connectionGeneration) const;
    // Makes key the current one and returns the index of its first page, or
    // nothing for an empty key (which also stops "more" until the next
    // search). Call only when canStart() holds.
    std::optional<int> start(const QString &key, qint64 nowMs, int connectionGeneration);
    // The index of the next page, or nothing when there is no key, paging
    // has ended or every row is loaded. Does not wait for earlier pages.
    std::optional<int> more(qsizetype rowsLoaded);
    // An answer arrived: it holds count rows in all.
    void answered(qint32 count, qint32 searchType);

    const QString &currentKey() const { return key; }
    int pageIndex() const { return page; }
    qint32 totalCount() const { return total; }
    qint32 searchType() const { return type; }
    bool searchReady() const { return ready; }
    int firstIndex() const { return first; }

private:
    int first;
    bool honoursSearchType;
    QString key;
    int page = 0;
    qint32 total = 0;
    qint32 type = 0;
    bool ready = true;
    qint64 sentAtMs = 0;
    int sentOnConnection = 0;
};
