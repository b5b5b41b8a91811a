#pragma once

#include <QHash>
#include <QList>
#include <QString>

// At most `count` account requests per peer address in a sliding window.
class SignUpLimit {
public:
    SignUpLimit(int count, qint64 windowSecs);

    // Counts the request and says whether it may go on.
    bool admit(const QString &address, qint64 now);

private:
    int count;
    qint64 windowSecs;
    QHash<QString, QList<qint64>> recent; // times of the requests within the window
};
