#include "service/guard/OutputWatch.h"

OutputWatch::OutputWatch(qint64 capBytes, int stallMs, std::function<void()> onStalled, QObject *parent)
    : QObject(parent), cap(capBytes)
{
    stall.setSingleShot(true);
    stall.setInterval(stallMs);
    connect(&stall, &QTimer::timeout, this, std::move(onStalled));
}

void OutputWatch::written(qint64 waiting)
{
    if (waiting > cap && !stall.isActive())
        stall.start();
}

void OutputWatch::drained(qint64 waiting)
{
    if (waiting > cap)
        stall.start();
    else
        stall.stop();
}
