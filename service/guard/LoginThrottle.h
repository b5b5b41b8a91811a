#pragma once

#include <QHash>
#include <QString>

#include <functional>

#include "service/ServiceLimits.h"

// Slows password guessing down, shared by both logins: failures are counted
// per user name (in any letter case) and per peer address. After the free
// failures each attempt must wait a delay that doubles with every further
// failure; from the lock count on, the name or address is refused for the
// lock time. A refused attempt is not checked and counts nothing. A name or
// address quiet for the lock time is forgotten.
class LoginThrottle {
public:
    using Clock = std::function<qint64()>; // milliseconds, steady

    explicit LoginThrottle(const ServiceLimits &limits, Clock clock = {});

    void setClock(Clock clock);
    // Whether an attempt may be checked now.
    bool allows(const QString &user, const QString &address);
    void failed(const QString &user, const QString &address);
    // A good password clears the name's failures; the address keeps its own,
    // so that one account of an attacker's does not clear them.
    void succeeded(const QString &user);

private:
    struct Entry {
        int failures = 0;
        qint64 last = 0;
    };
    struct Rule {
        int freeFailures;
        int lockFailures;
    };
    qint64 waitAfter(int failures, const Rule &rule) const;
    bool open(QHash<QString, Entry> &entries, const QString &key, const Rule &rule, qint64 now);
    void count(QHash<QString, Entry> &entries, const QString &key, qint64 now);

    Rule accountRule;
    Rule addressRule;
    qint64 firstDelayMs;
    qint64 lockMs;
    Clock now;
    QHash<QString, Entry> accounts;
    QHash<QString, Entry> addresses;
};
