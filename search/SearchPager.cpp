#include "search/SearchPager.h"

SearchPager::SearchPager(int firstIndex, bool honoursSearchType)
    : first(firstIndex), honoursSearchType(honoursSearchType), page(firstIndex)
{
}

bool SearchPager::canStart(qint64 nowMs, int connectionGeneration) const
{
    return ready || connectionGeneration != sentOnConnection || nowMs - sentAtMs >= kAnswerWaitMs;
}

std::optional<int> SearchPager::start(const QString &newKey, qint64 nowMs, int connectionGeneration)
{
    key = newKey;
    if (key.isEmpty()) {
        ready = true;
        return std::nullopt;
    }
    ready = false;
    sentAtMs = nowMs;
    sentOnConnection = connectionGeneration;
    page = first;
    return page;
}

std::optional<int> SearchPager::more(qsizetype rowsLoaded)
{
    if (key.isEmpty() || (honoursSearchType && type == 1) || quint32(rowsLoaded) >= quint32(total))
        return std::nullopt;
    return ++page;
}

void SearchPager::answered(qint32 count, qint32 searchType)
{
    total = count;
    type = searchType;
    ready = true;
}
