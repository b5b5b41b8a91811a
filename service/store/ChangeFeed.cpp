#include "service/store/ChangeFeed.h"

#include <QSqlDatabase>
#include <QSqlError>

#include "service/store/Database.h"
#include "service/ServiceLog.h"
#include "service/store/SqlDialect.h"

namespace {

const QString kAdsChannel = QStringLiteral("kestrel_ads");
const QString kAddressesChannel = QStringLiteral("kestrel_addresses");

} // namespace

ChangeFeed::ChangeFeed(Database &db, QObject *parent) : QObject(parent), db(db)
{
    batch.setSingleShot(true);
    batch.setInterval(0);
    connect(&batch, &QTimer::timeout, this, &ChangeFeed::flush);
    watchdog.setInterval(1000);
    connect(&watchdog, &QTimer::timeout, this, [this] {
        if (this->db.connectionLost())
            this->db.handle(); // opens it again when due, which subscribes again
        else if (!listening)
            listenAgain();
    });
}

ChangeFeed::~ChangeFeed()
{
    db.setReconnected({});
}

bool ChangeFeed::start()
{
    if (db.dialect().kind() != SqlDialect::Kind::Postgres)
        return false;
    db.setReconnected([this] {
        listening = false;
        listenAgain();
    });
    watchdog.start();
    listening = subscribe();
    return listening;
}

void ChangeFeed::listenAgain()
{
    // A subscription that failed is tried again by the watchdog; only once
    // it holds is what was missed worth asking for.
    if (!subscribe())
        return;
    listening = true;
    ServiceLog::line(QStringLiteral("database: listening for other instances' changes again"));
    emit resynced();
}

bool ChangeFeed::subscribe()
{
    QSqlDriver *driver = db.handle().driver();
    connect(driver, &QSqlDriver::notification, this, &ChangeFeed::received, Qt::UniqueConnection);
    bool subscribed = true;
    for (const QString &channel : {kAdsChannel, kAddressesChannel}) {
        if (!driver->subscribedToNotifications().contains(channel))
            subscribed = driver->subscribeToNotification(channel) && subscribed;
    }
    if (!subscribed)
        ServiceLog::line(QStringLiteral("database: cannot listen for other instances' changes: %1")
                             .arg(driver->lastError().text()));
    return subscribed;
}

void ChangeFeed::received(const QString &channel, QSqlDriver::NotificationSource source,
                          const QVariant &payload)
{
    if (source == QSqlDriver::SelfSource)
        return;
    const QString text = payload.toString();
    if (channel == kAdsChannel) {
        if (text.isEmpty())
            anyAds = true;
        else
            changedAds.insert(text);
    } else if (channel == kAddressesChannel) {
        const qsizetype cut = text.indexOf(QLatin1Char('\n'));
        if (cut <= 0)
            return;
        changedAddresses[text.left(cut)].insert(text.mid(cut + 1));
    } else {
        return;
    }
    batch.start();
}

void ChangeFeed::flush()
{
    if (anyAds || !changedAds.isEmpty()) {
        const QStringList webs = anyAds ? QStringList() : QStringList(changedAds.begin(), changedAds.end());
        anyAds = false;
        changedAds.clear();
        emit adsChanged(webs);
    }
    const QMap<QString, QSet<QString>> addresses = std::exchange(changedAddresses, {});
    for (auto it = addresses.cbegin(); it != addresses.cend(); ++it)
        emit addressesChanged(it.key(), QStringList(it.value().begin(), it.value().end()));
}
