#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

#include "service/store/ServiceRecords.h"

class PasswordHash;

class Database;

// Accounts and the addresses each one monitors.
class AccountStore {
public:
    enum class CreateResult { Created, Exists, Failed };
    enum class RemoveResult { Removed, NotFound, Failed };

    explicit AccountStore(Database &db);

    // The account as stored: its password field holds the hash. When the
    // database could not be read, nullopt with *failed set (a store that
    // cannot answer is not an unknown user).
    std::optional<AccountRecord> account(const QString &user, bool *failed = nullptr) const;
    // How new passwords are stored.
    const PasswordHash &passwordHash() const;
    // The check of a password against the stored value of an account (empty
    // when there is none): as long for an unknown name as for a wrong
    // password. Touches no database, so any thread may run it.
    static bool passwordMatches(const QString &stored, const QString &password, const PasswordHash &hash);
    // The account when the password is its own; nullopt for a wrong password
    // or an unknown user, which take the same time, or with *failed set when
    // the database could not be read.
    std::optional<AccountRecord> verify(const QString &user, const QString &password,
                                        bool *failed = nullptr) const;
    // A new account with the default mailbox of its QQ number. A name that
    // differs from an existing one only in letter case counts as existing.
    CreateResult create(const QString &user, const QString &password, const QString &qq, qint64 now);
    // Inserts or replaces by user name (demo data, tests). A password in clear
    // is hashed, a stored hash (a record read back) kept. Returns the id, or 0.
    qint64 save(const AccountRecord &account);

    QList<MonitoredAddress> addresses(qint64 accountId) const;
    // Every address of each of these users, in one read for them all; nullopt
    // when the database could not be read.
    std::optional<QHash<QString, QList<MonitoredAddress>>> addressesOf(const QStringList &users) const;
    // Users that monitor at least one of the urls, with the urls of each.
    QList<std::pair<QString, QStringList>> watchers(const QStringList &urls) const;
    // Stores the address under its url, replacing the settings of the same url.
    bool putAddress(qint64 accountId, const MonitoredAddress &address);
    RemoveResult removeAddress(qint64 accountId, const QString &url);
    // Replaces the whole list (demo data).
    bool replaceAddresses(qint64 accountId, const QList<MonitoredAddress> &addresses);

private:
    Database &db;
};
