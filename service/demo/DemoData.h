#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <random>

#include "service/store/ServiceRecords.h"

class AccountStore;
class AdStore;

// Deterministic sample data: publishing sites, game addresses with their ads,
// redirects and history, and the demo account. The same seed and day give
// the same data.
class DemoData {
public:
    static const QString kUser;
    static const QString kPassword;

    // At most maxGames() game addresses can be told apart.
    DemoData(quint32 seed, const QDate &today, int gameCount = 300);
    static int maxGames();
    // Game addresses for `ads` generated ads: about fifty ads each.
    static int gamesFor(int ads);

    QList<SiteRecord> sites() const;
    const QStringList &gameWebs() const { return gameWebList; }
    // Roughly perGame ads for each game address, in opening order.
    QList<AdRecord> ads(int perGame);
    // Writes `count` ads spread over the game addresses, in batches, without
    // holding them all in memory.
    bool writeAds(AdStore &store, int count);
    QList<ForwardRecord> forwards(int count);
    QList<HistoryRecord> history(int count);
    // The day new ads open from.
    void setToday(const QDate &day) { today = day; }
    // Ads one game address holds at most after a change.
    static constexpr int kMostAdsPerAddress = 20;
    // A fresh set of ads for one game address: some kept, some gone, some new,
    // never more than kMostAdsPerAddress.
    QList<AdRecord> changed(const QString &gameWeb, const QList<AdRecord> &current);

    // Replaces everything in the stores with the demo data and the demo
    // account that monitors five of the game addresses.
    bool fill(AccountStore &accounts, AdStore &ads);

private:
    struct Game {
        QString web;
        QString name; // family, version and style, e.g. "雷霆1.76复古"
        QString ip;
    };

    int draw(int bound);
    template <class T> const T &pick(const QList<T> &list) { return list[draw(int(list.size()))]; }
    AdRecord makeAd(const Game &game);
    const Game *game(const QString &web) const;

    std::mt19937 rng;
    QDate today;
    QList<Game> games;
    QStringList gameWebList;
};
