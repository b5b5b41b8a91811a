#include "service/search/AdValues.h"

#include <algorithm>

QByteArray countOrder(const QString &site, const QString &day, const QString &mark)
{
    // NUL sorts before every other byte, so the parts compare one by one.
    return site.toUtf8() + '\0' + day.toUtf8() + '\0' + mark.toUtf8();
}

bool AdChange::reusesIds() const
{
    return std::any_of(added.begin(), added.end(), [this](const auto &a) {
        return std::any_of(removed.begin(), removed.end(),
                           [&a](const auto &r) { return r.first == a.first; });
    });
}
