#include "service/Service.h"

#include <QDate>

#include "service/AccountStore.h"
#include "service/AdStore.h"
#include "service/DataServer.h"
#include "service/Database.h"
#include "service/DemoData.h"
#include "service/DemoTicker.h"
#include "service/HttpServer.h"
#include "service/ServiceLog.h"
#include "service/WebService.h"

Service::Service(ServiceOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_db(std::make_unique<Database>()),
      m_accounts(std::make_unique<AccountStore>(*m_db)), m_ads(std::make_unique<AdStore>(*m_db)),
      m_web(std::make_unique<WebService>(*m_accounts)),
      m_http(std::make_unique<HttpServer>([this](const HttpRequest &r) { return m_web->handle(r); })),
      m_data(std::make_unique<DataServer>(*m_accounts, *m_ads))
{
    connect(m_web.get(), &WebService::addressesChanged, this,
            [this](const QString &user, const QStringList &urls) { m_data->notifyUser(user, urls); });
}

Service::~Service()
{
    stop();
}

quint16 Service::webPort() const
{
    return m_http->port();
}

quint16 Service::dataPort() const
{
    return m_data->port();
}

bool Service::start()
{
    QString path = m_options.databasePath;
    if (path.isEmpty())
        path = ServiceOptions::defaultDatabasePath(m_options.demo);
    if (!m_db->open(path)) {
        m_error = QStringLiteral("cannot open database %1: %2").arg(path, m_db->errorString());
        return false;
    }
    ServiceLog::line(QStringLiteral("database %1").arg(path));
    if (m_options.demo) {
        m_demo = std::make_unique<DemoData>(m_options.seed, QDate::currentDate());
        if (!m_demo->fill(*m_accounts, *m_ads)) {
            m_error = QStringLiteral("cannot write the demo data into %1").arg(path);
            return false;
        }
    }
    const QString host = m_options.host.toString();
    if (!m_http->listen(m_options.host, m_options.webPort)) {
        m_error = QStringLiteral("cannot listen on %1 port %2 for the web service: %3")
                      .arg(host)
                      .arg(m_options.webPort)
                      .arg(m_http->errorString());
        return false;
    }
    if (!m_data->listen(m_options.host, m_options.dataPort)) {
        m_error = QStringLiteral("cannot listen on %1 port %2 for the data server: %3")
                      .arg(host)
                      .arg(m_options.dataPort)
                      .arg(m_data->errorString());
        m_http->close();
        return false;
    }
    ServiceLog::line(QStringLiteral("web service on %1:%2, data server on %1:%3")
                         .arg(host)
                         .arg(webPort())
                         .arg(dataPort()));
    if (m_demo) {
        m_ticker = std::make_unique<DemoTicker>(*m_demo, *m_accounts, *m_ads);
        connect(m_ticker.get(), &DemoTicker::adsChanged, this, &Service::adsChanged);
        m_ticker->start(m_options.changeIntervalSecs * 1000);
    }
    return true;
}

void Service::stop()
{
    m_ticker.reset();
    m_http->close();
    m_data->close();
}

void Service::adsChanged(const QStringList &gameWebs)
{
    m_data->notifyGameWebs(gameWebs);
}
