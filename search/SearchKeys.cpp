#include "search/SearchKeys.h"

namespace SearchKeys {

QString trimSlashes(const QString &typed)
{
    qsizetype begin = 0;
    qsizetype end = typed.size();
    while (begin < end && typed.at(begin) == QLatin1Char('/'))
        ++begin;
    while (end > begin && typed.at(end - 1) == QLatin1Char('/'))
        --end;
    return typed.mid(begin, end - begin);
}

QString withChoice(const QString &key, const QString &choice)
{
    if (choice.isEmpty() || choice.contains(QStringLiteral("不选择")))
        return key;
    return key + QLatin1Char('\\') + choice;
}

QString adSearchKey(const QString &plain, const QString &date, const QString &time)
{
    if (plain.isEmpty())
        return plain;
    return withChoice(withChoice(plain, date), time);
}

QStringList dateChoices(const QDate &today)
{
    QStringList out{QStringLiteral("不选择日期")};
    for (int day = 0; day < 10; ++day)
        out.append(today.addDays(day).toString(QStringLiteral("MM/dd")));
    return out;
}

QStringList timeChoices()
{
    QStringList out{QStringLiteral("不选择时间")};
    for (int halfHours = 7 * 2; halfHours < 24 * 2; ++halfHours)
        out.append(QStringLiteral("%1:%2")
                       .arg(halfHours / 2, 2, 10, QLatin1Char('0'))
                       .arg(halfHours % 2 == 0 ? QStringLiteral("00") : QStringLiteral("30")));
    out.append({QStringLiteral("全天固顶"), QStringLiteral("通宵"), QStringLiteral("通宵固顶")});
    return out;
}

QString clipCellText(const QString &text)
{
    return text.size() > kMaxCellText ? QStringLiteral("-") : text;
}

QString requestedStatus(qsizetype rows, qint32 total)
{
    return QStringLiteral("已请求：%1条/共：%2条").arg(rows).arg(total);
}

} // namespace SearchKeys
