#include "service/store/SqlDialect.h"

#include <QSqlQuery>

#include "service/store/PasswordHash.h"
#include "service/store/SchemaSteps.h"

namespace {

// Longest list of index terms a short term is looked up by; a term that
// begins more of them is checked on every row instead.
constexpr int kMaxShortTermExpansion = 1000;

QString ftsInsertTrigger()
{
    return QStringLiteral("CREATE TRIGGER ads_fts_insert AFTER INSERT ON ads BEGIN"
                          " INSERT INTO ads_fts(rowid, search_text) VALUES (new.id, new.search_text); END");
}

QString ftsDeleteTrigger()
{
    return QStringLiteral("CREATE TRIGGER ads_fts_delete AFTER DELETE ON ads BEGIN"
                          " INSERT INTO ads_fts(ads_fts, rowid, search_text)"
                          " VALUES ('delete', old.id, old.search_text); END");
}

QString ftsUpdateTrigger()
{
    return QStringLiteral("CREATE TRIGGER ads_fts_update AFTER UPDATE OF search_text ON ads BEGIN"
                          " INSERT INTO ads_fts(ads_fts, rowid, search_text)"
                          " VALUES ('delete', old.id, old.search_text);"
                          " INSERT INTO ads_fts(rowid, search_text) VALUES (new.id, new.search_text); END");
}

QString quotedPhrase(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Index terms of the text index that begin with a term too short for it.
std::optional<QStringList> indexTermsStartingWith(const QSqlDatabase &db, const QString &term)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // The index's own term list, seen through a per-connection table.
    if (!query.exec(QStringLiteral(
            "CREATE VIRTUAL TABLE IF NOT EXISTS temp.ads_terms USING fts5vocab(main, ads_fts, row)")))
        return std::nullopt;
    query.prepare(QStringLiteral("SELECT term FROM temp.ads_terms WHERE term >= ? AND term <= ? LIMIT ?"));
    query.addBindValue(term);
    query.addBindValue(term + QString::fromUcs4(U"\U0010FFFF", 1));
    query.addBindValue(kMaxShortTermExpansion + 1);
    if (!query.exec())
        return std::nullopt;
    QStringList terms;
    while (query.next())
        terms.append(query.value(0).toString());
    return terms;
}

class SqliteDialect final : public SqlDialect {
public:
    Kind kind() const override { return Kind::Sqlite; }
    QString driverName() const override { return QStringLiteral("QSQLITE"); }

    bool configure(QSqlDatabase &db, const QString &address, QString *) const override
    {
        db.setDatabaseName(address);
        return true;
    }

    QStringList sessionStatements() const override
    {
        // WAL with a synced commit: an acknowledged write survives a crash or
        // a power cut, and readers never wait for the writer.
        return {
            QStringLiteral("PRAGMA busy_timeout = 5000"),
            QStringLiteral("PRAGMA journal_mode = WAL"),
            QStringLiteral("PRAGMA synchronous = FULL"),
            QStringLiteral("PRAGMA foreign_keys = ON"),
            // Reads straight from the mapped file instead of a read() per
            // page: searches over a large catalogue take half the time.
            QStringLiteral("PRAGMA mmap_size = 2147418112"),
        };
    }

    const QList<UpgradeStep> &upgradeSteps() const override;
    QStringList schemaLockStatements() const override { return {}; }

    int schemaVersion(const QSqlDatabase &db) const override
    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
            return -1;
        return query.value(0).toInt();
    }

    QString setSchemaVersion(int version) const override
    {
        return QStringLiteral("PRAGMA user_version = %1").arg(version);
    }

    // The text index holds every three characters of an ad's text, which
    // ends in a blank: whatever one or two characters it contains begin one
    // of them. So terms of three characters and more are looked up as they
    // are, shorter ones by the index terms they begin, and only when there
    // are too many of those checked on every row (as every term is without
    // the index).
    AdTextFilter adTextFilter(const QSqlDatabase &db, const QStringList &terms, bool useIndex) const override
    {
        AdTextFilter f;
        QStringList phrases;
        for (const QString &term : terms) {
            if (useIndex && term.toUcs4().size() >= 3) {
                phrases.append(quotedPhrase(term));
                continue;
            }
            const std::optional<QStringList> expansion =
                useIndex ? indexTermsStartingWith(db, term) : std::optional<QStringList>();
            if (expansion && expansion->isEmpty()) {
                f.conditions.append(QStringLiteral("0"));
                f.impossible = true;
            } else if (expansion && expansion->size() <= kMaxShortTermExpansion) {
                QStringList any;
                for (const QString &t : *expansion)
                    any.append(quotedPhrase(t));
                phrases.append(QLatin1Char('(') + any.join(QStringLiteral(" OR ")) + QLatin1Char(')'));
            } else {
                f.conditions.append(contains(QStringLiteral("a.search_text"), QStringLiteral("?")));
                f.values.append(term);
                f.scansText = true;
            }
        }
        if (!phrases.isEmpty()) {
            const QString match = phrases.join(QStringLiteral(" AND "));
            f.conditions.prepend(QStringLiteral("a.id IN (SELECT rowid FROM ads_fts WHERE ads_fts MATCH ?)"));
            f.values.prepend(match);
            f.idsStatement = QStringLiteral("SELECT rowid FROM ads_fts WHERE ads_fts MATCH ? ORDER BY rowid");
            f.idsValues = {match};
        }
        return f;
    }

    QString contains(const QString &haystack, const QString &needle) const override
    {
        return QStringLiteral("instr(%1, %2) > 0").arg(haystack, needle);
    }
    QString adIdOrNew() const override { return QStringLiteral("?"); } // a null id takes the next one
    QString sameUserName() const override { return QStringLiteral("\"user\" = ? COLLATE NOCASE"); }

    QStringList emptyAdsStatements() const override
    {
        // The text index is emptied at once rather than row by row through
        // its delete trigger, which for a million ads takes minutes.
        return {QStringLiteral("DROP TRIGGER IF EXISTS ads_fts_delete"), QStringLiteral("DELETE FROM ads"),
                QStringLiteral("INSERT INTO ads_fts(ads_fts) VALUES ('delete-all')"), ftsDeleteTrigger()};
    }
    // The text index is built once at the end, several times faster than
    // row by row through its insert trigger.
    QStringList bulkLoadBegin() const override { return {QStringLiteral("DROP TRIGGER ads_fts_insert")}; }
    QStringList bulkLoadEnd() const override
    {
        return {QStringLiteral("INSERT INTO ads_fts(ads_fts) VALUES ('rebuild')"), ftsInsertTrigger()};
    }
    // A read transaction sees one snapshot from its first read on.
    QStringList snapshotStatements() const override { return {}; }
    QString dataVersionStatement() const override { return QStringLiteral("PRAGMA data_version"); }
};

const QList<UpgradeStep> &SqliteDialect::upgradeSteps() const
{
    static const QList<UpgradeStep> steps = {
        // 0 -> 1: the tables.
        {tableStatements({QStringLiteral("INTEGER PRIMARY KEY"), QStringLiteral("INTEGER")})},
        // 1 -> 2: a trigram index over the ads' text, kept in step by
        // triggers, built from the ads already held.
        {{
            QStringLiteral("CREATE VIRTUAL TABLE ads_fts USING fts5("
                           "search_text, content='ads', content_rowid='id', tokenize='trigram')"),
            ftsInsertTrigger(),
            ftsDeleteTrigger(),
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

const SqlDialect &SqlDialect::sqlite()
{
    static const SqliteDialect dialect;
    return dialect;
}

const SqlDialect &SqlDialect::of(const QString &databaseAddress)
{
    const bool server = databaseAddress.startsWith(QLatin1String("postgresql://")) ||
                        databaseAddress.startsWith(QLatin1String("postgres://"));
    return server ? postgres() : sqlite();
}
