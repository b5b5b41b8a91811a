#pragma once

#include <QDate>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

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
    // Where the date of new ads comes from; the calendar's by default.
    void setCalendar(std::function<QDate()> source) { calendar = std::move(source); }

signals:
    void adsChanged(const QStringList &gameWebs);

private:
    DemoData &data;
    AccountStore &accounts;
    AdStore &ads;
    QTimer timer;
    std::function<QDate()> calendar = [] { return QDate::currentDate(); };
    int turn = 0;
};
