// The search-history loader and the append that follows it. Properties:
// loading any file keeps every entry one line within the limit, and a key
// appended to whatever the file held (a damaged end included) loads back as
// itself.
#include <cstdint>

#include <QString>

#include "account/AccountState.h"
#include "account/SearchHistory.h"
#include "fuzz/FuzzSupport.h"

namespace {

using FuzzSupport::require;

const QString kAppended = QStringLiteral("新的 key");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AccountState &state = AccountState::Instance();
    state.baseDir = FuzzSupport::scratchDir();
    constexpr SearchHistory which = SearchHistory::ads;
    std::set<QString> &list = searchHistoryList(state, which);
    FuzzSupport::writeFile(searchHistoryFilePath(state, which), data, size);

    list.clear();
    LoadSearchHistory(state, which);
    for (const QString &entry : list) {
        require(!entry.contains(u'\n') && !entry.contains(u'\r'), "an entry is one line");
        require(entry.size() <= kMaxSearchKeyLine, "an entry is cut at the limit");
    }

    require(AppendSearchHistory(state, which, kAppended), "the key is appended");
    list.clear();
    LoadSearchHistory(state, which);
    require(list.count(kAppended) == 1, "the appended key loads back as itself");
    return 0;
}
