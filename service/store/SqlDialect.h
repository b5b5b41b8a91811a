#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

class PasswordHash;
class QSqlQuery;

// One step of the versioned schema: statements, then a rewrite of rows where
// SQL alone cannot do it.
struct UpgradeStep {
    QStringList statements;
    bool (*rewrite)(QSqlQuery &, const PasswordHash &) = nullptr;
};

// How the words of an ad search become conditions on the ads table (aliased
// "a"), and the statement that lists the matching ids alone, ascending.
struct AdTextFilter {
    QStringList conditions;
    QVariantList values;
    QString idsStatement; // empty when no term goes through an index
    QVariantList idsValues;
    bool scansText = false;  // some term is looked for in every row's text
    bool impossible = false; // some term is in no ad's text
};

// Everything the two database back ends (SQLite, embedded; PostgreSQL,
// shared by several service instances) write differently. The stores keep
// the SQL both understand and ask this for the rest.
class SqlDialect {
public:
    enum class Kind { Sqlite, Postgres };

    // The dialect of a --db value: a postgresql:// (or postgres://) address
    // or a file.
    static const SqlDialect &of(const QString &databaseAddress);
    static const SqlDialect &sqlite();
    static const SqlDialect &postgres();

    virtual ~SqlDialect() = default;
    virtual Kind kind() const = 0;
    virtual QString driverName() const = 0;
    // Applies the address to a new connection; false with a message when
    // the address cannot be understood.
    virtual bool configure(QSqlDatabase &db, const QString &address, QString *error) const = 0;
    // Run on each connection right after it opens.
    virtual QStringList sessionStatements() const = 0;

    // Each entry brings the schema from its index to index + 1.
    virtual const QList<UpgradeStep> &upgradeSteps() const = 0;
    // Run first in each upgrade transaction: instances starting together
    // upgrade one after the other.
    virtual QStringList schemaLockStatements() const = 0;
    // -1 when it cannot be read.
    virtual int schemaVersion(const QSqlDatabase &db) const = 0;
    virtual QString setSchemaVersion(int version) const = 0;

    // The terms (lower case, as the ads' search text) as conditions; with
    // useIndex false every term is looked for in every row.
    virtual AdTextFilter adTextFilter(const QSqlDatabase &db, const QStringList &terms,
                                      bool useIndex) const = 0;
    // A condition true when the text of one SQL expression contains that of
    // another ("?" for the next bound value).
    virtual QString contains(const QString &haystack, const QString &needle) const = 0;
    // The id of an inserted ad: the next bound value, or a new one when
    // that is null.
    virtual QString adIdOrNew() const = 0;
    // A user name equal to the next bound value regardless of letter case.
    virtual QString sameUserName() const = 0;

    // Empties the ads and whatever index over them.
    virtual QStringList emptyAdsStatements() const = 0;
    // Around loading many ads in one transaction.
    virtual QStringList bulkLoadBegin() const = 0;
    virtual QStringList bulkLoadEnd() const = 0;
    // Run first in a transaction whose statements must see one snapshot.
    virtual QStringList snapshotStatements() const = 0;
    // A number that moves when another connection commits; empty where
    // other writers announce their changes instead.
    virtual QString dataVersionStatement() const = 0;
};
