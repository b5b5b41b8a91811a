#include "service/store/ServiceRecords.h"

QString AdRecord::openTime() const
{
    return QStringLiteral("%1月%2日/%3")
        .arg(openDay.month(), 2, 10, QLatin1Char('0'))
        .arg(openDay.day(), 2, 10, QLatin1Char('0'))
        .arg(openSlot);
}

QString AdRecord::searchText() const
{
    // The closing blank makes every character of the text, even the last,
    // begin a run of three that the text index holds.
    return (QStringList{gameWeb, adName, ip, openTime(), otherInfo}.join(QLatin1Char(' ')) + QLatin1Char(' '))
        .toLower();
}
