#include "service/ServiceRecords.h"

QString AdRecord::openTime() const
{
    return QStringLiteral("%1月%2日/%3")
        .arg(openDay.month(), 2, 10, QLatin1Char('0'))
        .arg(openDay.day(), 2, 10, QLatin1Char('0'))
        .arg(openSlot);
}

QString AdRecord::searchText() const
{
    return QStringList{gameWeb, adName, ip, openTime(), otherInfo}.join(QLatin1Char(' ')).toLower();
}
