#include "service/Database.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "service/ServiceLog.h"

namespace {

QAtomicInt connectionCounter;

// Rewrites every password still held in clear as a salted hash.
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

QString ftsUpdateTrigger()
{
    return QStringLiteral("CREATE TRIGGER ads_fts_update AFTER UPDATE OF search_text ON ads BEGIN"
                          " INSERT INTO ads_fts(ads_fts, rowid, search_text)"
                          " VALUES ('delete', old.id, old.search_text);"
                          " INSERT INTO ads_fts(rowid, search_text) VALUES (new.id, new.search_text); END");
}

// One version step: statements, then a rewrite of rows where SQL alone
// cannot do it.
struct UpgradeStep {
    QStringList statements;
    bool (*rewrite)(QSqlQuery &, const PasswordHash &) = nullptr;
};

// Each entry brings the schema from its index to index + 1.
const QList<UpgradeStep> &upgradeSteps()
{
    static const QList<UpgradeStep> steps = {
        // 0 -> 1: the tables.
        {{
            QStringLiteral("CREATE TABLE accounts ("
                           " id INTEGER PRIMARY KEY,"
                           " user TEXT NOT NULL UNIQUE,"
                           " password TEXT NOT NULL,"
                           " qq TEXT NOT NULL DEFAULT '',"
                           " mailbox TEXT NOT NULL DEFAULT '',"
                           " notice TEXT NOT NULL DEFAULT '',"
                           " link_url TEXT NOT NULL DEFAULT '',"
                           " page_url TEXT NOT NULL DEFAULT '',"
                           " created INTEGER NOT NULL DEFAULT 0)"),
            QStringLiteral("CREATE TABLE domains ("
                           " id INTEGER PRIMARY KEY,"
                           " account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
                           " url TEXT NOT NULL,"
                           " remind_type TEXT NOT NULL DEFAULT '',"
                           " remark TEXT NOT NULL DEFAULT '',"
                           " publishing TEXT NOT NULL DEFAULT '1',"
                           " jinminhou INTEGER NOT NULL DEFAULT 0,"
                           " UNIQUE (account_id, url))"),
            QStringLiteral("CREATE INDEX domains_url ON domains(url)"),
            QStringLiteral("CREATE TABLE sites ("
                           " id INTEGER PRIMARY KEY,"
                           " name TEXT NOT NULL UNIQUE,"
                           " domain TEXT NOT NULL DEFAULT '',"
                           " urls TEXT NOT NULL DEFAULT '',"
                           " start_type INTEGER NOT NULL DEFAULT 0,"
                           " update_time INTEGER NOT NULL DEFAULT 0,"
                           " size_real INTEGER NOT NULL DEFAULT 0,"
                           " ext_info TEXT NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE TABLE ads ("
                           " id INTEGER PRIMARY KEY,"
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
                           " id INTEGER PRIMARY KEY,"
                           " main_url TEXT NOT NULL,"
                           " main_domain TEXT NOT NULL DEFAULT '',"
                           " forward_url TEXT NOT NULL,"
                           " forward_domain TEXT NOT NULL DEFAULT '',"
                           " update_time TEXT NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE TABLE his_ads ("
                           " id INTEGER PRIMARY KEY,"
                           " game_web TEXT NOT NULL,"
                           " game_domain TEXT NOT NULL DEFAULT '',"
                           " site TEXT NOT NULL DEFAULT '',"
                           " open_time TEXT NOT NULL DEFAULT '',"
                           " ad_count INTEGER NOT NULL DEFAULT 1)"),
        }},
        // 1 -> 2: a trigram index over the ads' text, kept in step by
        // triggers, built from the ads already held.
        {{
            QStringLiteral("CREATE VIRTUAL TABLE ads_fts USING fts5("
                           "search_text, content='ads', content_rowid='id', tokenize='trigram')"),
            Schema::ftsInsertTrigger(),
            Schema::ftsDeleteTrigger(),
            ftsUpdateTrigger(),
            QStringLiteral("INSERT INTO ads_fts(ads_fts) VALUES ('rebuild')"),
        }},
        // 2 -> 3: passwords as salted hashes; user names looked up without
        // regard to case, so that sign-up can refuse "Demo" beside "demo".
        {{QStringLiteral("CREATE INDEX accounts_user_nocase ON accounts(user COLLATE NOCASE)")},
         hashClearPasswords},
        // 3 -> 4: every ad text ends in a blank, so that short terms are
        // found through the index terms they begin. The index is rebuilt once
        // instead of row by row through its triggers.
        {{
            QStringLiteral("DROP TRIGGER ads_fts_update"),
            QStringLiteral(
                "UPDATE ads SET search_text = search_text || ' ' WHERE substr(search_text, -1) <> ' '"),
            ftsUpdateTrigger(),
            QStringLiteral("INSERT INTO ads_fts(ads_fts) VALUES ('rebuild')"),
        }},
    };
    return steps;
}

} // namespace

QString Schema::ftsInsertTrigger()
{
    return QStringLiteral("CREATE TRIGGER ads_fts_insert AFTER INSERT ON ads BEGIN"
                          " INSERT INTO ads_fts(rowid, search_text) VALUES (new.id, new.search_text); END");
}

QString Schema::ftsDeleteTrigger()
{
    return QStringLiteral("CREATE TRIGGER ads_fts_delete AFTER DELETE ON ads BEGIN"
                          " INSERT INTO ads_fts(ads_fts, rowid, search_text)"
                          " VALUES ('delete', old.id, old.search_text); END");
}

void bind(QSqlQuery &query, const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        query.addBindValue(QString(QLatin1String("")));
    else
        query.addBindValue(value);
}

bool sqlFailed(const QString &context, const QSqlQuery &query)
{
    ServiceLog::line(QStringLiteral("database: %1 failed: %2").arg(context, query.lastError().text()));
    return false;
}

Database::Database(PasswordHash passwordHash)
    : hash(passwordHash),
      name(QStringLiteral("kestrel-service-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Database::~Database()
{
    close();
}

void Database::close()
{
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool Database::open(const QString &path, int targetVersion)
{
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (!db.isValid()) {
        error = QStringLiteral("the SQLite driver of Qt is not available");
        return false;
    }
    db.setDatabaseName(path);
    if (!db.open()) {
        error = db.lastError().text();
        return false;
    }
    // Opening is lazy: make SQLite touch the file now, so that an unusable
    // path or a file that is no database fails here.
    if (!configure())
        return false;
    return upgrade(targetVersion);
}

bool Database::exec(const QString &sql) const
{
    QSqlQuery query(handle());
    if (query.exec(sql))
        return true;
    return sqlFailed(sql.left(60), query);
}

bool Database::configure()
{
    QSqlQuery query(handle());
    // WAL with a synced commit: an acknowledged write survives a crash or a
    // power cut, and readers never wait for the writer.
    const QStringList pragmas = {
        QStringLiteral("PRAGMA busy_timeout = 5000"),
        QStringLiteral("PRAGMA journal_mode = WAL"),
        QStringLiteral("PRAGMA synchronous = FULL"),
        QStringLiteral("PRAGMA foreign_keys = ON"),
        // Reads straight from the mapped file instead of a read() per page:
        // searches over a large catalogue take half the time.
        QStringLiteral("PRAGMA mmap_size = 2147418112"),
    };
    for (const QString &pragma : pragmas) {
        if (!query.exec(pragma)) {
            error = query.lastError().text();
            return false;
        }
    }
    return true;
}

int Database::schemaVersion() const
{
    QSqlQuery query(handle());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool Database::upgrade(int targetVersion)
{
    const int current = schemaVersion();
    if (current < 0) {
        error = QStringLiteral("cannot read the schema version");
        return false;
    }
    if (current > kSchemaVersion) {
        error = QStringLiteral("the file has schema version %1, newer than this program's %2")
                    .arg(current)
                    .arg(kSchemaVersion);
        return false;
    }
    const auto &steps = upgradeSteps();
    for (int version = current; version < targetVersion && version < int(steps.size()); ++version) {
        Transaction transaction(handle());
        if (!transaction.active()) {
            error = handle().lastError().text();
            return false;
        }
        QSqlQuery query(handle());
        const UpgradeStep &step = steps[version];
        bool done = true;
        for (const QString &sql : step.statements)
            done = done && query.exec(sql);
        if (done && step.rewrite)
            done = step.rewrite(query, hash);
        if (!done) {
            error =
                QStringLiteral("upgrade to version %1: %2").arg(version + 1).arg(query.lastError().text());
            return false;
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1)) ||
            !transaction.commit()) {
            error =
                QStringLiteral("upgrade to version %1: %2").arg(version + 1).arg(query.lastError().text());
            return false;
        }
        ServiceLog::line(QStringLiteral("database: schema now at version %1").arg(version + 1));
    }
    return true;
}

Transaction::Transaction(const QSqlDatabase &db) : connection(db), running(connection.transaction())
{
    if (!running)
        ServiceLog::line(QStringLiteral("database: begin failed: %1").arg(connection.lastError().text()));
}

Transaction::~Transaction()
{
    if (running)
        connection.rollback();
}

bool Transaction::commit()
{
    if (!running)
        return false;
    running = false;
    if (connection.commit())
        return true;
    ServiceLog::line(QStringLiteral("database: commit failed: %1").arg(connection.lastError().text()));
    connection.rollback();
    return false;
}
