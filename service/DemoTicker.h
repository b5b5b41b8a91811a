#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class AccountStore;
class AdStore;
class DemoData;

// Every interval, changes the ads of one or two addresses that the demo
// account monitors and reports which.
class DemoTicker : public QObject {
    Q_OBJECT
public:
    // History entries the demo keeps at most.
    static constexpr int kHistoryRows = 20000;

    DemoTicker(DemoData &data, AccountStore &accounts, AdStore &ads, QObject *parent = nullptr);

    void start(int intervalMs);
    // One change, now; returns the game addresses whose ads changed.
    QStringList tick();

signals:
    void adsChanged(const QStringList &gameWebs);

private:
    DemoData &data;
    AccountStore &accounts;
    AdStore &ads;
    QTimer timer;
    int turn = 0;
};
