#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include "service/PasswordHash.h"

class QSqlQuery;

// One SQLite connection with the service's schema. Opening creates the schema
// on a new file and upgrades an older one in place, one version step per
// transaction, recorded in PRAGMA user_version.
class Database {
public:
    static constexpr int kSchemaVersion = 4;

    // Passwords found in clear in an older file are stored with this.
    explicit Database(PasswordHash passwordHash = PasswordHash());
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (creating) the file and brings its schema up to targetVersion.
    // An error text is left in errorString() on failure.
    bool open(const QString &path, int targetVersion = kSchemaVersion);
    void close();

    QSqlDatabase handle() const { return QSqlDatabase::database(name, false); }
    int schemaVersion() const;
    QString errorString() const { return error; }
    const PasswordHash &passwords() const { return hash; }

    // Runs one statement; logs and returns false on failure.
    bool exec(const QString &sql) const;

private:
    bool configure();
    bool upgrade(int targetVersion);

    PasswordHash hash;
    QString name;
    QString error;
};

namespace Schema {
// The triggers that keep the text index in step with the ads.
QString ftsInsertTrigger();
QString ftsDeleteTrigger();
} // namespace Schema

// A write transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(const QSqlDatabase &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool active() const { return running; }
    bool commit();

private:
    QSqlDatabase connection;
    bool running = false;
};

// Binds the next positional value; a null text is bound as an empty one, not
// as NULL.
void bind(QSqlQuery &query, const QVariant &value);

// Logs a failed statement with its context; returns false so callers can
// `return sqlFailed(...)`.
bool sqlFailed(const QString &context, const QSqlQuery &query);
