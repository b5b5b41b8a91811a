// The weblist.txt loader. Properties: whatever the file holds, the loader
// leaves a usable selection, and what it loaded is saved and loaded again
// unchanged.
#include <cstdint>

#include "account/AccountState.h"
#include "account/SiteLists.h"
#include "fuzz/FuzzSupport.h"

namespace {

using FuzzSupport::require;

void checkSelection(const AccountState &state)
{
    require(!state.siteLists.empty(), "there is always a configuration");
    require(state.siteListIndex >= 0 && size_t(state.siteListIndex) < state.siteLists.size(),
            "the selected index names a configuration");
    require(state.siteListValue == state.siteLists[size_t(state.siteListIndex)].second,
            "the value is the selected configuration's");
    for (const auto &[name, value] : state.siteLists) {
        require(!name.contains(u'=') && !name.contains(u'\n') && !value.contains(u'\n'),
                "a configuration is one name=value line");
        require(name.size() + 1 + value.size() <= kMaxSiteListLine, "a line is cut at the limit");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AccountState &state = AccountState::Instance();
    state.baseDir = FuzzSupport::scratchDir();
    FuzzSupport::writeFile(siteListFilePath(state), data, size);

    LoadSiteLists(state);
    checkSelection(state);
    const auto lists = state.siteLists;
    const int index = state.siteListIndex;

    require(SaveSiteLists(state), "the configurations are saved");
    LoadSiteLists(state);
    require(state.siteLists == lists && state.siteListIndex == index, "a saved file loads as it was");
    return 0;
}
