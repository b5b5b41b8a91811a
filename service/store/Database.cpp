#include "service/store/Database.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>

#include <libpq-fe.h>

#include <atomic>

#include "service/ServiceLog.h"
#include "service/store/SqlDialect.h"

namespace {

QAtomicInt connectionCounter;

// Broken server connections of this process: the outage is logged once when
// the first breaks and once when the last is back, however many there are.
std::atomic<int> brokenConnections{0};

// A server connection is opened again at most this often.
constexpr qint64 kReconnectIntervalMs = 1000;

// Whether a driver's server connection is broken (SQLite's never is).
bool serverConnectionBroken(const QSqlDriver *driver)
{
    const QVariant driverHandle = driver ? driver->handle() : QVariant();
    if (!driverHandle.isValid() || qstrcmp(driverHandle.typeName(), "PGconn*") != 0)
        return false;
    PGconn *connection = *static_cast<PGconn *const *>(driverHandle.constData());
    return connection == nullptr || PQstatus(connection) == CONNECTION_BAD;
}

// A lost server is logged once, by the connection that notices it, not once
// per statement that fails until it is back.
void logFailure(const QString &what, const QSqlError &error, const QSqlDriver *driver)
{
    if (brokenConnections.load() > 0 || serverConnectionBroken(driver))
        return;
    ServiceLog::line(QStringLiteral("database: %1 failed: %2").arg(what, error.text()));
}

} // namespace

void bind(QSqlQuery &query, const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        query.addBindValue(QString(QLatin1String("")));
    else
        query.addBindValue(value);
}

bool sqlFailed(const QString &context, const QSqlQuery &query)
{
    logFailure(context, query.lastError(), query.driver());
    return false;
}

Database::Database(PasswordHash passwordHash)
    : hash(passwordHash), sql(&SqlDialect::sqlite()),
      name(QStringLiteral("kestrel-service-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Database::~Database()
{
    close();
}

void Database::close()
{
    if (lost) {
        lost = false;
        if (brokenConnections.fetch_sub(1) == 1)
            ServiceLog::line(QStringLiteral("database: no connection waits for the server any more"));
    }
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool Database::open(const QString &address, int targetVersion)
{
    close();
    sql = &SqlDialect::of(address);
    where = address;
    return openConnection() && upgrade(targetVersion);
}

bool Database::openConnection()
{
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(sql->driverName(), name);
    if (!db.isValid()) {
        error = QStringLiteral("the %1 driver of Qt is not available").arg(sql->driverName());
        return false;
    }
    if (!sql->configure(db, where, &error))
        return false;
    if (!db.open()) {
        error = db.lastError().text().trimmed();
        return false;
    }
    // SQLite opens lazily: the first statements make it touch the file, so
    // that an unusable path or a file that is no database fails here.
    return configure();
}

bool Database::configure()
{
    QSqlQuery query(QSqlDatabase::database(name, false));
    for (const QString &statement : sql->sessionStatements()) {
        if (!query.exec(statement)) {
            error = query.lastError().text();
            return false;
        }
    }
    return true;
}

QSqlDatabase Database::handle() const
{
    if (lost || (transactions == 0 && connectionLost()))
        reconnect();
    return QSqlDatabase::database(name, false);
}

bool Database::connectionLost() const
{
    if (sql->kind() != SqlDialect::Kind::Postgres || !QSqlDatabase::contains(name))
        return false;
    const QSqlDatabase db = QSqlDatabase::database(name, false);
    return !db.isOpen() || serverConnectionBroken(db.driver());
}

bool Database::reconnect() const
{
    if (transactions > 0 || !QSqlDatabase::contains(name))
        return false;
    if (!lost) {
        lost = true;
        if (brokenConnections.fetch_add(1) == 0)
            ServiceLog::line(
                QStringLiteral("database: connection to the server lost; retrying every second"));
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastAttemptMs < kReconnectIntervalMs)
        return false;
    lastAttemptMs = now;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    auto *self = const_cast<Database *>(this);
    if (!self->openConnection() || connectionLost())
        return false;
    lost = false;
    if (brokenConnections.fetch_sub(1) == 1)
        ServiceLog::line(QStringLiteral("database: connected to the server again"));
    if (reconnected)
        reconnected();
    return true;
}

QString Database::shownAddress(const QString &address)
{
    if (SqlDialect::of(address).kind() != SqlDialect::Kind::Postgres)
        return address;
    QUrl url(address);
    if (!url.password().isEmpty())
        url.setPassword(QStringLiteral("xxxxx"));
    return url.toString();
}

bool Database::exec(const QString &statement) const
{
    QSqlQuery query(handle());
    if (query.exec(statement))
        return true;
    return sqlFailed(statement.left(60), query);
}

int Database::schemaVersion() const
{
    return sql->schemaVersion(handle());
}

bool Database::upgrade(int targetVersion)
{
    const auto &steps = sql->upgradeSteps();
    for (;;) {
        Transaction transaction(*this);
        if (!transaction.active()) {
            error = handle().lastError().text();
            return false;
        }
        QSqlQuery query(handle());
        // Instances starting together take turns; each sees the version
        // the one before it left.
        for (const QString &statement : sql->schemaLockStatements()) {
            if (!query.exec(statement)) {
                error = QStringLiteral("schema lock: %1").arg(query.lastError().text());
                return false;
            }
        }
        const int version = sql->schemaVersion(handle());
        if (version < 0) {
            error = QStringLiteral("cannot read the schema version");
            return false;
        }
        if (version > kSchemaVersion) {
            error = QStringLiteral("the database has schema version %1, newer than this program's %2")
                        .arg(version)
                        .arg(kSchemaVersion);
            return false;
        }
        if (version >= targetVersion || version >= int(steps.size()))
            return true;
        const UpgradeStep &step = steps[version];
        bool done = true;
        for (const QString &statement : step.statements)
            done = done && query.exec(statement);
        if (done && step.rewrite)
            done = step.rewrite(query, hash);
        done = done && query.exec(sql->setSchemaVersion(version + 1));
        if (!done || !transaction.commit()) {
            error =
                QStringLiteral("upgrade to version %1: %2").arg(version + 1).arg(query.lastError().text());
            return false;
        }
        ServiceLog::line(QStringLiteral("database: schema now at version %1").arg(version + 1));
    }
}

Transaction::Transaction(const Database &db) : database(db), connection(db.handle())
{
    running = connection.transaction();
    if (!running) {
        logFailure(QStringLiteral("begin"), connection.lastError(), connection.driver());
        return;
    }
    ++database.transactions;
}

Transaction::~Transaction()
{
    if (running) {
        connection.rollback();
        end();
    }
}

void Transaction::end()
{
    running = false;
    --database.transactions;
}

bool Transaction::commit()
{
    if (!running)
        return false;
    end();
    if (connection.commit())
        return true;
    logFailure(QStringLiteral("commit"), connection.lastError(), connection.driver());
    connection.rollback();
    return false;
}
