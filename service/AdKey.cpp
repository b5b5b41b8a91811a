#include "service/AdKey.h"

#include <QRegularExpression>

#include "webproto/WebText.h"

namespace AdKey {

QString timeMark(const QString &text)
{
    static const QStringList allDay = {QStringLiteral("全天固顶"), QStringLiteral("通宵"),
                                       QStringLiteral("通宵固顶")};
    if (allDay.contains(text))
        return text;
    static const QRegularExpression clock(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    const QRegularExpressionMatch m = clock.match(text);
    if (!m.hasMatch())
        return {};
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    if (hour > 23 || minute > 59)
        return {};
    return QStringLiteral("%1:%2").arg(hour, 2, 10, QLatin1Char('0')).arg(minute, 2, 10, QLatin1Char('0'));
}

QList<QDate> daysFor(const QString &text, const QDate &today)
{
    static const QRegularExpression monthDay(QStringLiteral("^(\\d{1,2})/(\\d{1,2})$"));
    const QRegularExpressionMatch m = monthDay.match(text);
    if (!m.hasMatch())
        return {};
    const int month = m.captured(1).toInt();
    const int day = m.captured(2).toInt();
    QList<QDate> days;
    for (int year = today.year() - 1; year <= today.year() + 1; ++year) {
        const QDate d(year, month, day);
        if (d.isValid())
            days.append(d);
    }
    return days;
}

QStringList siteNames(const QString &siteListValue)
{
    if (siteListValue == QLatin1String("1"))
        return {};
    return WebText::SplitText(siteListValue, QLatin1Char('~'));
}

} // namespace AdKey

AdQuery AdQuery::parse(const QString &key, const QString &adWeb, const QDate &today)
{
    AdQuery query;
    query.sites = AdKey::siteNames(adWeb);
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString &raw : WebText::SplitText(key, QLatin1Char('\\'))) {
        const QString piece = raw.trimmed();
        if (piece.isEmpty())
            continue;
        QList<QList<QDate>> days;
        QStringList marks;
        bool allFilters = true;
        for (const QString &token : piece.split(blanks, Qt::SkipEmptyParts)) {
            const QList<QDate> d = AdKey::daysFor(token, today);
            const QString mark = AdKey::timeMark(token);
            if (!d.isEmpty())
                days.append(d);
            else if (!mark.isEmpty())
                marks.append(mark);
            else
                allFilters = false;
        }
        if (allFilters) {
            query.days += days;
            query.marks += marks;
        } else {
            query.terms.append(piece.toLower());
        }
    }
    return query;
}
