#include "service/web/ReplayGuard.h"

ReplayGuard::ReplayGuard(int capacity, qint64 windowSecs)
    : capacity(std::max(capacity, 1)), windowSecs(windowSecs)
{
}

void ReplayGuard::forgetBefore(qint64 now)
{
    const auto end = byTime.lower_bound(now - windowSecs);
    for (auto it = byTime.begin(); it != end; ++it)
        seen.remove(it->second);
    byTime.erase(byTime.begin(), end);
}

ReplayGuard::Result ReplayGuard::admit(const QString &user, qint64 time, const QString &rand,
                                       const QString &check, qint64 now)
{
    forgetBefore(now);
    // The check digest is hex: letter case does not make a new query.
    const QString key = user + QLatin1Char('\n') + QString::number(time) + QLatin1Char('\n') + rand +
                        QLatin1Char('\n') + check.toLower();
    if (seen.contains(key))
        return Result::Replayed;
    if (seen.size() >= capacity)
        return Result::Full;
    seen.insert(key, time);
    byTime.emplace(time, key);
    return Result::Fresh;
}
