#pragma once

#include <QDate>
#include <QHash>
#include <QString>

#include <optional>
#include <shared_mutex>
#include <vector>

#include "service/search/AdKey.h"
#include "service/search/AdValues.h"

class QSqlDatabase;

// The publishing site, day and mark of every stored ad, by id, in memory: a
// search counts and filters its matches here instead of reading each row,
// which for a term found in a fifth of a million ads is the difference
// between a few and a few hundred milliseconds. Kept up to date by this
// process's writes; any other change makes it stale until loaded again.
// Safe to use from several threads.
class AdGroupIndex {
public:
    // Ids beyond this many times the number of ads (plus a margin) are too
    // sparse to index by id: searches then read rows.
    static constexpr qint64 kMaxSparseness = 4;

    bool ready() const;
    // Claims the next load when stale; the claimer must call load() (or
    // loadFailed()) with the token, others go on without the index.
    std::optional<quint64> claimLoad();
    // Reads every ad's group from the database; false when it failed or the
    // index went stale again meanwhile.
    bool load(const QSqlDatabase &db, quint64 token);
    void markStale();
    // A committed write of this process; applying one twice does no harm.
    void apply(const AdChange &change);

    // The matches among `candidates` (ascending ids; all ads when empty
    // optional) that pass the query's days, marks and sites, with their
    // counts; nullopt when the index is not ready.
    std::optional<AdMatches> select(const std::optional<std::vector<qint64>> &candidates,
                                    const AdQuery &query) const;
    // Groups held, those without ads included (0 when not ready).
    size_t groupCount() const;

private:
    struct Group {
        QString site;
        QString day; // as stored
        QDate date;
        QString slot;
        QString openTime;
        QByteArray order; // the site, day and mark in SQLite's order
    };
    struct Data {
        std::vector<quint32> codeOf; // by id: 1 + group index, 0 for no ad
        std::vector<Group> groups;
        std::vector<qint64> adsIn; // by group index
        QHash<QString, quint32> codeByKey;
        qint64 ads = 0;
        size_t emptyGroups = 0;

        quint32 codeFor(const QString &site, const QString &day, const QString &slot,
                        const QString &openTime);
        void set(qint64 id, quint32 code);
        void apply(const AdChange &change);
        // Days pass and their ads go, but their groups would stay: once most
        // groups are empty they are dropped and the codes renumbered.
        void dropEmptyGroups();
    };
    enum class State { Stale, Loading, Ready };

    mutable std::shared_mutex lock;
    State state = State::Stale;
    quint64 loadToken = 0;
    Data data;
    std::vector<AdChange> duringLoad; // writes to take in once loaded
};
