#pragma once

#include <QHash>
#include <QString>

#include <map>

// Signed queries already accepted, so that a captured one cannot be sent
// again. A query is remembered until its time leaves the clock window, after
// which the time check refuses it anyway.
class ReplayGuard {
public:
    enum class Result { Fresh, Replayed, Full };

    ReplayGuard(int capacity, qint64 windowSecs);

    // Records the query when it is new. When the record is full, new queries
    // are refused rather than old ones forgotten early.
    Result admit(const QString &user, qint64 time, const QString &rand, const QString &check, qint64 now);

private:
    void forgetBefore(qint64 now);

    qsizetype capacity;
    qint64 windowSecs;
    QHash<QString, qint64> seen;           // key -> time of the query
    std::multimap<qint64, QString> byTime; // the same, in time order
};
