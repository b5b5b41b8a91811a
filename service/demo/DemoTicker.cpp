#include "service/demo/DemoTicker.h"

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/demo/DemoData.h"
#include "service/ServiceLog.h"

DemoTicker::DemoTicker(DemoData &data, AccountStore &accounts, AdStore &ads, QObject *parent)
    : QObject(parent), data(data), accounts(accounts), ads(ads)
{
    connect(&timer, &QTimer::timeout, this, [this] { tick(); });
}

void DemoTicker::start(int intervalMs)
{
    if (intervalMs > 0)
        timer.start(intervalMs);
}

QStringList DemoTicker::tick()
{
    const std::optional<AccountRecord> demo = accounts.account(DemoData::kUser);
    if (!demo)
        return {};
    const QList<MonitoredAddress> watched = accounts.addresses(demo->id);
    if (watched.isEmpty())
        return {};
    // A demo that runs past midnight goes on with ads of the days ahead.
    data.setToday(calendar());
    // Walk the list so that every address changes now and then; every third
    // turn changes two at once.
    QStringList changed;
    const int count = (turn % 3 == 2 && watched.size() > 1) ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const QString url = watched[(turn + i) % watched.size()].url;
        if (ads.replaceAdsOf(url, data.changed(url, ads.adsOf(url))))
            changed.append(url);
    }
    ++turn;
    // A demo left running for weeks keeps only its newest history.
    ads.keepLatestHistory(kHistoryRows);
    if (!changed.isEmpty()) {
        ServiceLog::line(QStringLiteral("demo: ads changed for %1").arg(changed.join(QLatin1Char(';'))));
        emit adsChanged(changed);
    }
    return changed;
}
