#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// Turns SIGINT and SIGTERM into a Qt signal on the event loop: the handler
// only writes a byte to a socket pair, everything else runs in the loop.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested(int signalNumber);

private:
    static void handler(int signalNumber);
    void onReadable();

    std::unique_ptr<QSocketNotifier> notifier;
};
