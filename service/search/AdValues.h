#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>
#include <vector>

#include "service/store/ServiceRecords.h"

// The values the ad searches pass between the store, its cache and its group
// index: below all three, so that none of them includes another for these.

// Ads of one publishing site opening at one day and mark.
struct SiteTimeCount {
    QString site;
    QString openTime;
    int count = 0;
    // With the site, what counts are grouped and ordered by (as stored).
    QString openDay;
    QString openSlot;
};

// Counts are ordered by site, day and mark as SQLite orders them, by their
// UTF-8 bytes; this key compares so.
QByteArray countOrder(const QString &site, const QString &day, const QString &mark);

// The ads one write of this process added and removed, with their ids.
struct AdChange {
    std::vector<std::pair<qint64, AdRecord>> added;
    std::vector<std::pair<qint64, AdRecord>> removed;

    // Whether a removed ad's id went to an added one.
    bool reusesIds() const;
};

// Everything a key matches: the ids of its ads in ascending order, from which
// any page is read directly, and the counts its first page shows.
struct AdMatches {
    std::vector<qint64> ids;
    QList<SiteTimeCount> counts;
};

struct AdPage {
    QList<AdRecord> ads;
    int total = 0;
    bool last = true;            // no page follows this one
    QList<SiteTimeCount> counts; // filled on the first page only
    bool failed = false;         // a statement failed; the rest is not the answer
};

struct ForwardPage {
    QList<ForwardRecord> rows;
    int total = 0;
    bool failed = false;
};

struct HistoryPage {
    QList<HistoryRecord> rows;
    int total = 0;
    bool failed = false;
};
