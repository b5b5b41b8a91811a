#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <functional>

#include "service/store/PasswordHash.h"

class QSqlQuery;
class SqlDialect;

// One connection to the service's database with its schema: an SQLite file,
// or a PostgreSQL database that several service instances share. Opening
// creates the schema in a new database and upgrades an older one in place,
// one version step per transaction.
//
// A server connection that breaks is opened again by itself, between
// transactions and at most once a second, so a database that comes back
// after an outage is used again without anyone's help.
class Database {
public:
    static constexpr int kSchemaVersion = 4;

    // Passwords found in clear in an older database are stored with this.
    explicit Database(PasswordHash passwordHash = PasswordHash());
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (creating) a file, or connects to a postgresql:// address, and
    // brings the schema up to targetVersion. An error text is left in
    // errorString() on failure.
    bool open(const QString &address, int targetVersion = kSchemaVersion);
    void close();

    // The connection, opened again first when it broke.
    QSqlDatabase handle() const;
    const SqlDialect &dialect() const { return *sql; }
    int schemaVersion() const;
    QString errorString() const { return error; }
    const PasswordHash &passwords() const { return hash; }
    QString address() const { return where; }

    // The address with its password left out, for logs and messages.
    static QString shownAddress(const QString &address);

    // Runs one statement; logs and returns false on failure.
    bool exec(const QString &sql) const;

    // Whether the server connection is known to be broken.
    bool connectionLost() const;
    // Opens the broken connection again now; true when it is usable.
    bool reconnect() const;
    // Called after the connection was opened again (subscriptions to
    // notifications do not survive it).
    void setReconnected(std::function<void()> handler) { reconnected = std::move(handler); }

private:
    friend class Transaction;

    bool openConnection();
    bool configure();
    bool upgrade(int targetVersion);

    PasswordHash hash;
    const SqlDialect *sql;
    QString name;
    QString where;
    QString error;
    std::function<void()> reconnected;
    // Open transactions: a connection is never replaced inside one.
    mutable int transactions = 0;
    mutable qint64 lastAttemptMs = 0;
    mutable bool lost = false;
};

// A write transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(const Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool active() const { return running; }
    bool commit();

private:
    void end();

    const Database &database;
    QSqlDatabase connection;
    bool running = false;
};

// Binds the next positional value; a null text is bound as an empty one, not
// as NULL.
void bind(QSqlQuery &query, const QVariant &value);

// Logs a failed statement with its context; returns false so callers can
// `return sqlFailed(...)`.
bool sqlFailed(const QString &context, const QSqlQuery &query);
