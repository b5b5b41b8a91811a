#include "tests/support/ScratchDatabase.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace {

QAtomicInt scratchCounter;

// Runs one statement on the cluster's own database through a connection of
// its own; the error text, empty on success.
QString onCluster(const QString &statement)
{
    const QString name = QStringLiteral("scratch-admin-%1").arg(scratchCounter.fetchAndAddRelaxed(1));
    QString failure;
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        const QUrl url(ScratchDatabases::clusterAddress());
        admin.setHostName(url.host());
        admin.setPort(url.port(5432));
        admin.setUserName(url.userName());
        admin.setPassword(url.password());
        admin.setDatabaseName(url.path().mid(1));
        if (!admin.open()) {
            failure = admin.lastError().text();
        } else {
            QSqlQuery query(admin);
            if (!query.exec(statement))
                failure = query.lastError().text();
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(name);
    return failure;
}

} // namespace

QString ScratchDatabases::clusterAddress()
{
    return qEnvironmentVariable("KESTREL_TEST_POSTGRES");
}

Backend ScratchDatabases::backendFromEnvironment()
{
    return qEnvironmentVariable("KESTREL_TEST_BACKEND") == QLatin1String("postgres") ? Backend::Postgres
                                                                                     : Backend::Sqlite;
}

std::string ScratchDatabases::name(Backend backend)
{
    return backend == Backend::Postgres ? "Postgres" : "Sqlite";
}

ScratchDatabase::ScratchDatabase(Backend backend) : kind(backend)
{
    if (kind == Backend::Sqlite) {
        where = dir.filePath(QStringLiteral("scratch.sqlite"));
        return;
    }
    if (ScratchDatabases::clusterAddress().isEmpty()) {
        problem = QStringLiteral("no PostgreSQL cluster (KESTREL_TEST_POSTGRES is not set)");
        return;
    }
    const QString database = QStringLiteral("scratch_%1_%2")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(scratchCounter.fetchAndAddRelaxed(1));
    if (createOnCluster(database)) {
        QUrl url(ScratchDatabases::clusterAddress());
        url.setPath(QLatin1Char('/') + database);
        where = url.toString();
    }
}

ScratchDatabase::~ScratchDatabase()
{
    for (const QString &database : made)
        onCluster(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
}

bool ScratchDatabase::createOnCluster(const QString &database)
{
    problem = onCluster(QStringLiteral("CREATE DATABASE %1").arg(database));
    if (!problem.isEmpty())
        return false;
    made.append(database);
    return true;
}

void ScratchDatabase::keep()
{
    dir.setAutoRemove(false);
    made.clear();
}

QString ScratchDatabase::siblingAddress(const QString &name)
{
    if (kind == Backend::Sqlite)
        return dir.filePath(name + QStringLiteral(".sqlite"));
    const QString database = made.value(0) + QLatin1Char('_') + name;
    if (!createOnCluster(database))
        return QString();
    QUrl url(where);
    url.setPath(QLatin1Char('/') + database);
    return url.toString();
}
