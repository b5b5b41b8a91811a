#pragma once

#include <QMap>
#include <QObject>
#include <QSet>
#include <QSqlDriver>
#include <QStringList>
#include <QTimer>

class Database;

// What other writers commit to a shared database, as the database announces
// it: on PostgreSQL, triggers notify every change of ads and of monitored
// addresses, and this listens (LISTEN/NOTIFY, no polling of tables). This
// instance's own writes are left out: it has told its clients already. An
// embedded database has no other writers to hear from.
class ChangeFeed : public QObject {
    Q_OBJECT
public:
    explicit ChangeFeed(Database &db, QObject *parent = nullptr);
    // The database outlives the feed: it is told to call it no more.
    ~ChangeFeed() override;

    // Subscribes on the database's connection; false where there is nothing
    // to listen to (SQLite) or the subscription failed.
    bool start();

signals:
    // The ads of these game addresses changed; an empty list means any.
    void adsChanged(const QStringList &gameWebs);
    void addressesChanged(const QString &user, const QStringList &urls);
    // The feed listens again after its connection was lost: what was
    // announced meanwhile is unknown.
    void resynced();

private:
    bool subscribe();
    void listenAgain();
    void received(const QString &channel, QSqlDriver::NotificationSource source, const QVariant &payload);
    void flush();

    Database &db;
    // Announcements arrive one per address; those of one moment go out as
    // one change.
    QTimer batch;
    // A connection that breaks says nothing: it is looked at every second
    // and opened again when due.
    QTimer watchdog;
    QSet<QString> changedAds;
    bool anyAds = false;
    QMap<QString, QSet<QString>> changedAddresses;
    bool listening = false;
};
