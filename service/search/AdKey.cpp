#include "service/search/AdKey.h"

#include <QRegularExpression>

#include <algorithm>

#include "service/store/ServiceRecords.h"
#include "webproto/WebText.h"

namespace AdKey {

QString clean(const QString &key, int maxChars)
{
    QString out;
    out.reserve(std::min<qsizetype>(key.size(), maxChars));
    bool cut = false;
    for (const QChar c : key) {
        if (out.size() >= maxChars) {
            cut = true;
            break;
        }
        if (c.category() != QChar::Other_Control)
            out.append(c);
    }
    // A piece cut in two would look for something nobody asked for.
    static const QRegularExpression lastBreak(QStringLiteral("[\\\\\\s][^\\\\\\s]*$"));
    if (cut)
        out.remove(lastBreak);
    return out;
}

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

bool AdQuery::passes(const QString &site, const QDate &day, const QString &mark) const
{
    if (!sites.isEmpty() && !sites.contains(site))
        return false;
    const auto hasDay = [&day](const QList<QDate> &choice) { return choice.contains(day); };
    const auto isMark = [&mark](const QString &wanted) { return mark == wanted; };
    return std::all_of(days.begin(), days.end(), hasDay) && std::all_of(marks.begin(), marks.end(), isMark);
}

bool AdQuery::matches(const AdRecord &ad) const
{
    if (!passes(ad.site, ad.openDay, ad.openSlot))
        return false;
    const QString text = ad.searchText();
    return std::all_of(terms.begin(), terms.end(),
                       [&text](const QString &term) { return text.contains(term); });
}

AdQuery AdQuery::parse(const QString &key, const QString &adWeb, const QDate &today, int maxTerms,
                       int maxChars)
{
    AdQuery query;
    query.sites = AdKey::siteNames(adWeb);
    const QString cleaned = AdKey::clean(key, maxChars);
    query.cut = cleaned.size() != key.size();
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString &raw : WebText::SplitText(cleaned, QLatin1Char('\\'))) {
        // Each term or filter is one more condition of the search; past the
        // limit SQLite would refuse the statement.
        if (query.terms.size() + query.days.size() + query.marks.size() >= maxTerms) {
            query.cut = true;
            break;
        }
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
            const qsizetype room = maxTerms - (query.terms.size() + query.days.size() + query.marks.size());
            query.cut = query.cut || days.size() + marks.size() > room;
            query.days += days.mid(0, room);
            query.marks += marks.mid(0, std::max<qsizetype>(room - days.size(), 0));
        } else {
            query.terms.append(piece.toLower());
        }
    }
    return query;
}
