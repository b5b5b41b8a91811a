#include "service/store/SchemaSteps.h"

#include <QList>
#include <QSqlQuery>
#include <QVariant>

#include "service/store/PasswordHash.h"

bool hashClearPasswords(QSqlQuery &query, const PasswordHash &hash)
{
    QList<std::pair<qint64, QString>> clear;
    if (!query.exec(QStringLiteral("SELECT id, password FROM accounts")))
        return false;
    while (query.next()) {
        const QString password = query.value(1).toString();
        if (!PasswordHash::isHash(password))
            clear.append({query.value(0).toLongLong(), password});
    }
    query.prepare(QStringLiteral("UPDATE accounts SET password = ? WHERE id = ?"));
    for (const auto &[id, password] : clear) {
        const QString stored = hash.make(password);
        if (stored.isEmpty())
            return false;
        query.addBindValue(stored);
        query.addBindValue(id);
        if (!query.exec())
            return false;
    }
    return true;
}

QStringList tableStatements(const ColumnTypes &types)
{
    // Every statement names its types by %1 (key) and %2 (integer).
    const QStringList statements = {
        QStringLiteral("CREATE TABLE accounts ("
                       " id %1,"
                       " \"user\" TEXT NOT NULL UNIQUE,"
                       " password TEXT NOT NULL,"
                       " qq TEXT NOT NULL DEFAULT '',"
                       " mailbox TEXT NOT NULL DEFAULT '',"
                       " notice TEXT NOT NULL DEFAULT '',"
                       " link_url TEXT NOT NULL DEFAULT '',"
                       " page_url TEXT NOT NULL DEFAULT '',"
                       " created %2 NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE domains ("
                       " id %1,"
                       " account_id %2 NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
                       " url TEXT NOT NULL,"
                       " remind_type TEXT NOT NULL DEFAULT '',"
                       " remark TEXT NOT NULL DEFAULT '',"
                       " publishing TEXT NOT NULL DEFAULT '1',"
                       " jinminhou INTEGER NOT NULL DEFAULT 0,"
                       " UNIQUE (account_id, url))"),
        QStringLiteral("CREATE INDEX domains_url ON domains(url)"),
        QStringLiteral("CREATE TABLE sites ("
                       " id %1,"
                       " name TEXT NOT NULL UNIQUE,"
                       " domain TEXT NOT NULL DEFAULT '',"
                       " urls TEXT NOT NULL DEFAULT '',"
                       " start_type INTEGER NOT NULL DEFAULT 0,"
                       " update_time %2 NOT NULL DEFAULT 0,"
                       " size_real INTEGER NOT NULL DEFAULT 0,"
                       " ext_info TEXT NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE TABLE ads ("
                       " id %1,"
                       " game_web TEXT NOT NULL,"
                       " site TEXT NOT NULL,"
                       " ad_name TEXT NOT NULL DEFAULT '',"
                       " ip TEXT NOT NULL DEFAULT '',"
                       " open_day TEXT NOT NULL,"
                       " open_slot TEXT NOT NULL DEFAULT '',"
                       " open_time TEXT NOT NULL DEFAULT '',"
                       " other_info TEXT NOT NULL DEFAULT '',"
                       " ad_count INTEGER NOT NULL DEFAULT 1,"
                       " search_text TEXT NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE INDEX ads_game ON ads(game_web)"),
        QStringLiteral("CREATE INDEX ads_site ON ads(site)"),
        QStringLiteral("CREATE INDEX ads_day ON ads(open_day, open_slot)"),
        QStringLiteral("CREATE TABLE forwards ("
                       " id %1,"
                       " main_url TEXT NOT NULL,"
                       " main_domain TEXT NOT NULL DEFAULT '',"
                       " forward_url TEXT NOT NULL,"
                       " forward_domain TEXT NOT NULL DEFAULT '',"
                       " update_time TEXT NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE TABLE his_ads ("
                       " id %1,"
                       " game_web TEXT NOT NULL,"
                       " game_domain TEXT NOT NULL DEFAULT '',"
                       " site TEXT NOT NULL DEFAULT '',"
                       " open_time TEXT NOT NULL DEFAULT '',"
                       " ad_count INTEGER NOT NULL DEFAULT 1)"),
    };
    QStringList out;
    for (const QString &statement : statements)
        out.append(QString(statement)
                       .replace(QLatin1String("%1"), types.key)
                       .replace(QLatin1String("%2"), types.integer));
    return out;
}
