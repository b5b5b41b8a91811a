#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "service/ServiceOptions.h"

class AccountStore;
class ChangeFeed;
class AdStore;
class ConnectionGate;
class DataServer;
class Database;
class DemoData;
class DemoTicker;
class HttpServer;
class LoginThrottle;
class SearchPool;
class WebService;

// The whole back end in one object: the database, the web service and the
// data server on the caller's event loop, and the demo data when asked for.
class Service : public QObject {
    Q_OBJECT
public:
    explicit Service(ServiceOptions options, QObject *parent = nullptr);
    ~Service() override;

    // Opens the database and starts listening; false with errorString() set
    // when the database cannot be opened or a port is taken.
    bool start();
    void stop();
    QString errorString() const { return error; }

    quint16 webPort() const;
    quint16 dataPort() const;
    const ServiceOptions &options() const { return serviceOptions; }

    Database &database() { return *db; }
    AccountStore &accounts() { return *accountStore; }
    AdStore &ads() { return *adStore; }
    WebService &web() { return *webService; }
    HttpServer &http() { return *httpServer; }
    DataServer &data() { return *dataServer; }
    LoginThrottle &throttle() { return *loginThrottle; }
    // The threads that run searches and password checks beside the event
    // loop; null when there are none.
    SearchPool *searchThreads() { return searchPool.get(); }
    // Present in demo mode only.
    DemoTicker *ticker() { return demoTicker.get(); }

    // New ad data for these game addresses: everyone watching them is told.
    void adsChanged(const QStringList &gameWebs);

private:
    // Opens the database, trying a server that cannot be reached again
    // every second for the configured time.
    bool openDatabase(const QString &address);
    // Other instances on the same database: their changes reach this one's
    // clients and empty its search cache.
    void followOtherInstances();
    // Replaces the ads by --demo-ads generated ones.
    bool writeGeneratedAds();
    // The search threads, each on its own connection to the database at path.
    bool startSearchThreads(const QString &path);

    ServiceOptions serviceOptions;
    QString error;
    // Shared by both servers, and outlives their connections.
    std::unique_ptr<ConnectionGate> gate;
    std::unique_ptr<Database> db;
    std::unique_ptr<AccountStore> accountStore;
    std::unique_ptr<AdStore> adStore;
    std::unique_ptr<LoginThrottle> loginThrottle;
    std::unique_ptr<WebService> webService;
    std::unique_ptr<HttpServer> httpServer;
    std::unique_ptr<DataServer> dataServer;
    std::unique_ptr<DemoData> demoData;
    std::unique_ptr<DemoTicker> demoTicker;
    std::unique_ptr<ChangeFeed> changeFeed;
    // Ends first: no thread may hand a result to a part already gone.
    std::unique_ptr<SearchPool> searchPool;
};
