#include "cli/HeldAds.h"

#include <algorithm>

namespace cli {

QStringList HeldAds::take(const AdList &list)
{
    std::map<QString, std::vector<std::string>> now;
    for (const Proto::OneAdInfo &info : list)
        now[QString::fromStdString(info.strgameweb())].push_back(info.SerializeAsString());
    for (auto &[url, ads] : now)
        std::sort(ads.begin(), ads.end());

    QStringList differing;
    auto before = held.cbegin();
    auto after = now.cbegin();
    // Both maps in address order: a merge visits every address of either once.
    while (before != held.cend() || after != now.cend()) {
        if (after == now.cend() || (before != held.cend() && before->first < after->first)) {
            differing.append((before++)->first);
        } else if (before == held.cend() || after->first < before->first) {
            differing.append((after++)->first);
        } else {
            if (before->second != after->second)
                differing.append(after->first);
            ++before;
            ++after;
        }
    }
    held = std::move(now);
    return differing;
}

qint64 HeldAds::count(const QString &url) const
{
    const auto found = held.find(url);
    return found == held.end() ? 0 : qint64(found->second.size());
}

} // namespace cli
