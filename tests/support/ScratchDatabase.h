#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>

// The database back ends the service runs on.
enum class Backend { Sqlite, Postgres };

namespace ScratchDatabases {
// The PostgreSQL cluster the tests may use (KESTREL_TEST_POSTGRES, a
// postgresql:// address of a throw-away cluster that scripts/test starts);
// empty when there is none.
QString clusterAddress();
// The back end the service tests run on: KESTREL_TEST_BACKEND=postgres or
// SQLite.
Backend backendFromEnvironment();
std::string name(Backend backend);
} // namespace ScratchDatabases

// A fresh, empty database of one back end for one test: a file in a new
// temporary folder, or a new database on the test cluster that is dropped
// again at the end.
class ScratchDatabase {
public:
    explicit ScratchDatabase(Backend backend);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    Backend backend() const { return kind; }
    // False for PostgreSQL when no cluster is configured or the database
    // could not be made; why() says which.
    bool available() const { return !where.isEmpty(); }
    const QString &why() const { return problem; }
    // What --db takes.
    const QString &address() const { return where; }
    // Leaves the database behind at the end (to look at after a long run).
    void keep();
    // Another database of the same back end, for tests that need two.
    QString siblingAddress(const QString &name);

private:
    bool createOnCluster(const QString &database);

    Backend kind;
    QTemporaryDir dir;
    QString where;
    QString problem;
    QStringList made; // databases made on the cluster
};
