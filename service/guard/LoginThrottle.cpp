#include "service/guard/LoginThrottle.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

qint64 steadyMs()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

// Entries are swept for forgotten ones once a table grows past this.
constexpr qsizetype kSweepSize = 4096;

} // namespace

LoginThrottle::LoginThrottle(const ServiceLimits &limits, Clock clock)
    : accountRule{limits.accountFreeFailures, limits.accountLockFailures},
      addressRule{limits.addressFreeFailures, limits.addressLockFailures},
      firstDelayMs(limits.loginFirstDelayMs), lockMs(qint64(limits.loginLockSecs) * 1000)
{
    setClock(std::move(clock));
}

void LoginThrottle::setClock(Clock clock)
{
    now = clock ? std::move(clock) : Clock(steadyMs);
}

qint64 LoginThrottle::waitAfter(int failures, const Rule &rule) const
{
    if (failures >= rule.lockFailures)
        return lockMs;
    if (failures < rule.freeFailures)
        return 0;
    const int doublings = std::min(failures - rule.freeFailures, 40);
    return std::min(firstDelayMs << doublings, lockMs);
}

bool LoginThrottle::open(QHash<QString, Entry> &entries, const QString &key, const Rule &rule, qint64 t)
{
    const auto it = entries.constFind(key);
    if (it == entries.cend())
        return true;
    const qint64 quiet = t - it->last;
    if (quiet >= lockMs && it->failures >= rule.lockFailures) {
        entries.remove(key); // the lock has run out: a fresh start
        return true;
    }
    return quiet >= waitAfter(it->failures, rule);
}

bool LoginThrottle::allows(const QString &user, const QString &address)
{
    const qint64 t = now();
    // Both are asked, so that an expired entry of either is dropped.
    const bool accountOpen = open(accounts, user.toLower(), accountRule, t);
    const bool addressOpen = open(addresses, address, addressRule, t);
    return accountOpen && addressOpen;
}

void LoginThrottle::count(QHash<QString, Entry> &entries, const QString &key, qint64 t)
{
    if (entries.size() >= kSweepSize) {
        entries.removeIf([&](const QHash<QString, Entry>::iterator it) { return t - it->last >= lockMs; });
    }
    Entry &e = entries[key];
    if (e.failures > 0 && t - e.last >= lockMs)
        e.failures = 0;
    ++e.failures;
    e.last = t;
}

void LoginThrottle::failed(const QString &user, const QString &address)
{
    const qint64 t = now();
    count(accounts, user.toLower(), t);
    count(addresses, address, t);
}

void LoginThrottle::succeeded(const QString &user)
{
    accounts.remove(user.toLower());
}
