#include "service/store/AccountStore.h"

#include <QMap>
#include <QSqlQuery>
#include <QVariant>

#include "service/store/Database.h"
#include "service/store/SqlDialect.h"

namespace {

bool insertAddress(QSqlQuery &query, qint64 accountId, const MonitoredAddress &a)
{
    query.prepare(
        QStringLiteral("INSERT INTO domains (account_id, url, remind_type, remark, publishing, jinminhou)"
                       " VALUES (?, ?, ?, ?, ?, ?)"
                       " ON CONFLICT (account_id, url) DO UPDATE SET remind_type = excluded.remind_type,"
                       " remark = excluded.remark, publishing = excluded.publishing,"
                       " jinminhou = excluded.jinminhou"));
    bind(query, accountId);
    bind(query, a.url);
    bind(query, a.remindType);
    bind(query, a.remark);
    bind(query, a.publishing);
    bind(query, a.jinminhou);
    return query.exec() || sqlFailed(QStringLiteral("store address"), query);
}

// The address in the row's columns from `first` on: url, remind_type, remark,
// publishing, jinminhou.
MonitoredAddress readAddress(const QSqlQuery &query, int first)
{
    MonitoredAddress a;
    a.url = query.value(first).toString();
    a.remindType = query.value(first + 1).toString();
    a.remark = query.value(first + 2).toString();
    a.publishing = query.value(first + 3).toString();
    a.jinminhou = query.value(first + 4).toInt();
    return a;
}

} // namespace

AccountStore::AccountStore(Database &db) : db(db)
{
}

std::optional<AccountRecord> AccountStore::account(const QString &user, bool *failed) const
{
    if (failed)
        *failed = false;
    QSqlQuery query(db.handle());
    query.prepare(
        QStringLiteral("SELECT id, \"user\", password, qq, mailbox, notice, link_url, page_url, created"
                       " FROM accounts WHERE \"user\" = ?"));
    bind(query, user);
    if (!query.exec()) {
        sqlFailed(QStringLiteral("read account"), query);
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    if (!query.next())
        return std::nullopt;
    AccountRecord a;
    a.id = query.value(0).toLongLong();
    a.user = query.value(1).toString();
    a.password = query.value(2).toString();
    a.qq = query.value(3).toString();
    a.mailbox = query.value(4).toString();
    a.notice = query.value(5).toString();
    a.linkUrl = query.value(6).toString();
    a.pageUrl = query.value(7).toString();
    a.created = query.value(8).toLongLong();
    return a;
}

const PasswordHash &AccountStore::passwordHash() const
{
    return db.passwords();
}

bool AccountStore::passwordMatches(const QString &stored, const QString &password, const PasswordHash &hash)
{
    if (stored.isEmpty()) {
        hash.waste(password);
        return false;
    }
    return PasswordHash::matches(stored, password);
}

std::optional<AccountRecord> AccountStore::verify(const QString &user, const QString &password,
                                                  bool *failed) const
{
    bool unread = false;
    std::optional<AccountRecord> a = account(user, &unread);
    if (failed)
        *failed = unread;
    if (unread)
        return std::nullopt;
    if (!passwordMatches(a ? a->password : QString(), password, db.passwords()))
        return std::nullopt;
    return a;
}

AccountStore::CreateResult AccountStore::create(const QString &user, const QString &password,
                                                const QString &qq, qint64 now)
{
    const QString stored = db.passwords().make(password);
    Transaction transaction(db);
    if (stored.isEmpty() || !transaction.active())
        return CreateResult::Failed;
    QSqlQuery query(db.handle());
    // Where names are unique regardless of case, two instances taking
    // "Demo" and "demo" at once leave one of them a conflict, not an error.
    query.prepare(QStringLiteral("INSERT INTO accounts (\"user\", password, qq, mailbox, created)"
                                 " SELECT ?, ?, ?, ?, ? WHERE NOT EXISTS"
                                 " (SELECT 1 FROM accounts WHERE %1) ON CONFLICT DO NOTHING")
                      .arg(db.dialect().sameUserName()));
    bind(query, user);
    bind(query, stored);
    bind(query, qq);
    bind(query, qq + QStringLiteral("@qq.com"));
    bind(query, now);
    bind(query, user);
    if (!query.exec()) {
        sqlFailed(QStringLiteral("create account"), query);
        return CreateResult::Failed;
    }
    const bool inserted = query.numRowsAffected() == 1;
    if (!transaction.commit())
        return CreateResult::Failed;
    return inserted ? CreateResult::Created : CreateResult::Exists;
}

qint64 AccountStore::save(const AccountRecord &a)
{
    const QString password = PasswordHash::isHash(a.password) ? a.password : db.passwords().make(a.password);
    Transaction transaction(db);
    if (password.isEmpty() || !transaction.active())
        return 0;
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral(
        "INSERT INTO accounts (\"user\", password, qq, mailbox, notice, link_url, page_url, created)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"
        " ON CONFLICT (\"user\") DO UPDATE SET password = excluded.password,"
        " qq = excluded.qq, mailbox = excluded.mailbox, notice = excluded.notice,"
        " link_url = excluded.link_url, page_url = excluded.page_url"));
    for (const QVariant &v :
         {QVariant(a.user), QVariant(password), QVariant(a.qq), QVariant(a.mailbox), QVariant(a.notice),
          QVariant(a.linkUrl), QVariant(a.pageUrl), QVariant(a.created)})
        bind(query, v);
    if (!query.exec())
        return sqlFailed(QStringLiteral("save account"), query), 0;
    query.prepare(QStringLiteral("SELECT id FROM accounts WHERE \"user\" = ?"));
    bind(query, a.user);
    if (!query.exec() || !query.next())
        return sqlFailed(QStringLiteral("save account"), query), 0;
    const qint64 id = query.value(0).toLongLong();
    return transaction.commit() ? id : 0;
}

QList<MonitoredAddress> AccountStore::addresses(qint64 accountId) const
{
    QList<MonitoredAddress> out;
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT url, remind_type, remark, publishing, jinminhou FROM domains"
                                 " WHERE account_id = ? ORDER BY id"));
    bind(query, accountId);
    if (!query.exec())
        return sqlFailed(QStringLiteral("read addresses"), query), out;
    while (query.next())
        out.append(readAddress(query, 0));
    return out;
}

std::optional<QHash<QString, QList<MonitoredAddress>>>
AccountStore::addressesOf(const QStringList &users) const
{
    // Bound values per statement stay far below what either database takes.
    constexpr qsizetype kUsersPerRead = 500;
    QHash<QString, QList<MonitoredAddress>> out;
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    for (qsizetype from = 0; from < users.size(); from += kUsersPerRead) {
        const QStringList some = users.mid(from, kUsersPerRead);
        query.prepare(
            QStringLiteral("SELECT a.\"user\", d.url, d.remind_type, d.remark, d.publishing, d.jinminhou"
                           " FROM domains d JOIN accounts a ON a.id = d.account_id"
                           " WHERE a.\"user\" IN (%1) ORDER BY d.id")
                .arg(QStringList(some.size(), QStringLiteral("?")).join(QLatin1Char(','))));
        for (const QString &user : some)
            bind(query, user);
        if (!query.exec())
            return sqlFailed(QStringLiteral("read addresses"), query), std::nullopt;
        while (query.next())
            out[query.value(0).toString()].append(readAddress(query, 1));
    }
    return out;
}

QList<std::pair<QString, QStringList>> AccountStore::watchers(const QStringList &urls) const
{
    QMap<QString, QStringList> byUser;
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT a.\"user\" FROM domains d JOIN accounts a ON a.id = d.account_id"
                                 " WHERE d.url = ?"));
    for (const QString &url : urls) {
        bind(query, url);
        if (!query.exec()) {
            sqlFailed(QStringLiteral("find watchers"), query);
            continue;
        }
        while (query.next())
            byUser[query.value(0).toString()].append(url);
    }
    QList<std::pair<QString, QStringList>> out;
    for (auto it = byUser.cbegin(); it != byUser.cend(); ++it)
        out.append({it.key(), it.value()});
    return out;
}

bool AccountStore::putAddress(qint64 accountId, const MonitoredAddress &address)
{
    Transaction transaction(db);
    QSqlQuery query(db.handle());
    return transaction.active() && insertAddress(query, accountId, address) && transaction.commit();
}

AccountStore::RemoveResult AccountStore::removeAddress(qint64 accountId, const QString &url)
{
    Transaction transaction(db);
    if (!transaction.active())
        return RemoveResult::Failed;
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral("DELETE FROM domains WHERE account_id = ? AND url = ?"));
    bind(query, accountId);
    bind(query, url);
    if (!query.exec())
        return sqlFailed(QStringLiteral("remove address"), query), RemoveResult::Failed;
    const bool removed = query.numRowsAffected() > 0;
    // Committed even when nothing matched: a failed commit is a failure to
    // answer as such, never as "not on the list".
    if (!transaction.commit())
        return RemoveResult::Failed;
    return removed ? RemoveResult::Removed : RemoveResult::NotFound;
}

bool AccountStore::replaceAddresses(qint64 accountId, const QList<MonitoredAddress> &addresses)
{
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral("DELETE FROM domains WHERE account_id = ?"));
    bind(query, accountId);
    if (!query.exec())
        return sqlFailed(QStringLiteral("replace addresses"), query);
    for (const MonitoredAddress &a : addresses) {
        if (!insertAddress(query, accountId, a))
            return false;
    }
    return transaction.commit();
}
