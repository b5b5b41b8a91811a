#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// Runs the event loop until the condition holds or the deadline passes; true if it held.
template <class Condition> bool WaitUntil(Condition condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
