#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "service/ServiceOptions.h"

class AccountStore;
class AdStore;
class DataServer;
class Database;
class DemoData;
class DemoTicker;
class HttpServer;
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
    QString errorString() const { return m_error; }

    quint16 webPort() const;
    quint16 dataPort() const;
    const ServiceOptions &options() const { return m_options; }

    Database &database() { return *m_db; }
    AccountStore &accounts() { return *m_accounts; }
    AdStore &ads() { return *m_ads; }
    WebService &web() { return *m_web; }
    DataServer &data() { return *m_data; }
    // Present in demo mode only.
    DemoTicker *ticker() { return m_ticker.get(); }

    // New ad data for these game addresses: everyone watching them is told.
    void adsChanged(const QStringList &gameWebs);

private:
    ServiceOptions m_options;
    QString m_error;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<AccountStore> m_accounts;
    std::unique_ptr<AdStore> m_ads;
    std::unique_ptr<WebService> m_web;
    std::unique_ptr<HttpServer> m_http;
    std::unique_ptr<DataServer> m_data;
    std::unique_ptr<DemoData> m_demo;
    std::unique_ptr<DemoTicker> m_ticker;
};
