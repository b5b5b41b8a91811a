#include "service/Service.h"

#include <QDate>
#include <QElapsedTimer>
#include <QThread>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/store/ChangeFeed.h"
#include "service/guard/ConnectionGate.h"
#include "service/data/DataServer.h"
#include "service/store/Database.h"
#include "service/demo/DemoData.h"
#include "service/demo/DemoTicker.h"
#include "service/web/HttpServer.h"
#include "service/guard/LoginThrottle.h"
#include "service/search/SearchPool.h"
#include "service/ServiceLog.h"
#include "service/store/SqlDialect.h"
#include "service/web/WebService.h"

Service::Service(ServiceOptions options, QObject *parent)
    : QObject(parent), serviceOptions(std::move(options)),
      gate(std::make_unique<ConnectionGate>(serviceOptions.limits.maxConnections,
                                            serviceOptions.limits.maxConnectionsPerAddress)),
      db(std::make_unique<Database>(PasswordHash(serviceOptions.limits.passwordHashIterations))),
      accountStore(std::make_unique<AccountStore>(*db)),
      adStore(std::make_unique<AdStore>(
          *db, std::make_shared<AdSearchCache>(AdSearchCache::kDefaultPages,
                                               serviceOptions.limits.searchCacheIds))),
      loginThrottle(std::make_unique<LoginThrottle>(serviceOptions.limits)),
      webService(std::make_unique<WebService>(*accountStore, *loginThrottle, serviceOptions.limits)),
      httpServer(std::make_unique<HttpServer>(
          [this](const HttpRequest &r, HttpServer::Respond respond) {
              webService->handle(r, std::move(respond));
          },
          *gate, serviceOptions.limits)),
      dataServer(
          std::make_unique<DataServer>(*accountStore, *adStore, *gate, *loginThrottle, serviceOptions.limits))
{
    webService->setPublicUrl(serviceOptions.publicUrl);
    httpServer->setLogBudget(serviceOptions.limits.logLines, serviceOptions.limits.logWindowSecs);
    ServiceLog::setValueLimit(serviceOptions.limits.logValueChars);
    connect(webService.get(), &WebService::addressesChanged, this,
            [this](const QString &user, const QStringList &urls) { dataServer->notifyUser(user, urls); });
}

Service::~Service()
{
    stop();
}

quint16 Service::webPort() const
{
    return httpServer->port();
}

quint16 Service::dataPort() const
{
    return dataServer->port();
}

bool Service::start()
{
    QString path = serviceOptions.databasePath;
    if (path.isEmpty())
        path = ServiceOptions::defaultDatabasePath(serviceOptions.demo);
    const QString shown = Database::shownAddress(path);
    if (!openDatabase(path)) {
        error = QStringLiteral("cannot open database %1: %2").arg(shown, db->errorString());
        return false;
    }
    ServiceLog::line(QStringLiteral("database %1").arg(shown));
    followOtherInstances();
    if (serviceOptions.demo) {
        demoData = std::make_unique<DemoData>(serviceOptions.seed, QDate::currentDate());
        if (!demoData->fill(*accountStore, *adStore)) {
            error = QStringLiteral("cannot write the demo data into %1").arg(shown);
            return false;
        }
    }
    if (serviceOptions.demoAds > 0 && !writeGeneratedAds()) {
        error =
            QStringLiteral("cannot write %1 generated ads into %2").arg(serviceOptions.demoAds).arg(shown);
        return false;
    }
    if (!startSearchThreads(path)) {
        error = QStringLiteral("cannot open database %1 for the search threads: %2").arg(shown, error);
        return false;
    }
    const QString host = serviceOptions.host.toString();
    if (!httpServer->listen(serviceOptions.host, serviceOptions.webPort)) {
        error = QStringLiteral("cannot listen on %1 port %2 for the web service: %3")
                    .arg(host)
                    .arg(serviceOptions.webPort)
                    .arg(httpServer->errorString());
        return false;
    }
    if (!dataServer->listen(serviceOptions.host, serviceOptions.dataPort)) {
        error = QStringLiteral("cannot listen on %1 port %2 for the data server: %3")
                    .arg(host)
                    .arg(serviceOptions.dataPort)
                    .arg(dataServer->errorString());
        httpServer->close();
        return false;
    }
    ServiceLog::line(QStringLiteral("web service on %1:%2, data server on %1:%3")
                         .arg(host)
                         .arg(webPort())
                         .arg(dataPort()));
    if (demoData) {
        demoTicker = std::make_unique<DemoTicker>(*demoData, *accountStore, *adStore);
        connect(demoTicker.get(), &DemoTicker::adsChanged, this, &Service::adsChanged);
        demoTicker->start(serviceOptions.changeIntervalSecs * 1000);
    }
    return true;
}

bool Service::startSearchThreads(const QString &path)
{
    // Loaded before the first client comes: a second or two for a million ads.
    adStore->prepareGroups();
    const int threads = serviceOptions.limits.searchThreads;
    // A database held in memory exists for one connection alone.
    if (threads <= 0 || path == QLatin1String(":memory:"))
        return true;
    auto pool = std::make_unique<SearchPool>(adStore->cache(), threads);
    if (!pool->start(path, &error))
        return false;
    searchPool = std::move(pool);
    dataServer->useSearchThreads(searchPool.get());
    webService->useSearchThreads(searchPool.get());
    return true;
}

bool Service::openDatabase(const QString &address)
{
    if (db->open(address))
        return true;
    // A file that cannot be opened will not open a second later; a server
    // may just be starting.
    if (SqlDialect::of(address).kind() != SqlDialect::Kind::Postgres ||
        serviceOptions.limits.databaseWaitSecs <= 0)
        return false;
    ServiceLog::line(QStringLiteral("database: cannot reach %1 (%2); trying again every second for %3 s")
                         .arg(Database::shownAddress(address), db->errorString().simplified())
                         .arg(serviceOptions.limits.databaseWaitSecs));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < qint64(serviceOptions.limits.databaseWaitSecs) * 1000) {
        QThread::msleep(1000);
        if (db->open(address))
            return true;
    }
    return false;
}

void Service::followOtherInstances()
{
    changeFeed = std::make_unique<ChangeFeed>(*db);
    if (!changeFeed->start()) {
        changeFeed.reset();
        return;
    }
    connect(changeFeed.get(), &ChangeFeed::adsChanged, this, [this](const QStringList &gameWebs) {
        adStore->cache()->clear();
        dataServer->notifyGameWebs(gameWebs);
    });
    connect(changeFeed.get(), &ChangeFeed::addressesChanged, this,
            [this](const QString &user, const QStringList &urls) { dataServer->notifyUser(user, urls); });
    // What other instances wrote while the feed was down is unknown: every
    // client compares its complete list again. Queued, as the feed learns
    // of the outage inside whatever statement found the connection back.
    connect(
        changeFeed.get(), &ChangeFeed::resynced, this,
        [this] {
            adStore->cache()->clear();
            dataServer->notifyEveryone();
        },
        Qt::QueuedConnection);
}

bool Service::writeGeneratedAds()
{
    QElapsedTimer timer;
    timer.start();
    // The same seed gives the demo's game addresses first, so the demo
    // account's addresses get their share.
    DemoData generated(serviceOptions.seed, QDate::currentDate(), DemoData::gamesFor(serviceOptions.demoAds));
    if (!adStore->clearAds() || !generated.writeAds(*adStore, serviceOptions.demoAds))
        return false;
    ServiceLog::line(QStringLiteral("database: %1 generated ads written in %2 s")
                         .arg(serviceOptions.demoAds)
                         .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1));
    return true;
}

void Service::stop()
{
    demoTicker.reset();
    changeFeed.reset();
    httpServer->close();
    dataServer->close();
}

void Service::adsChanged(const QStringList &gameWebs)
{
    dataServer->notifyGameWebs(gameWebs);
}
