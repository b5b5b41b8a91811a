#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include "service/ServiceLimits.h"

struct AdRecord;

// A parsed ad search. The key is terms joined with "\"; every term must occur
// in the ad. A piece made only of a month/day ("12/10") and/or an opening
// mark ("19:30", "全天固顶", "通宵", "通宵固顶") filters instead of matching
// text; "12/10 19:30" in one piece gives both.
struct AdQuery {
    QStringList terms;        // lower-cased, as they are looked for
    QList<QList<QDate>> days; // each entry: the days one month/day can mean
    QStringList marks;        // opening marks, all required
    QStringList sites;        // empty: every publishing site
    bool cut = false;         // the key held more than the limits allow

    // The key is cleaned first (AdKey::clean); only its first maxTerms
    // terms, days and marks count.
    static AdQuery parse(const QString &key, const QString &adWeb, const QDate &today,
                         int maxTerms = ServiceLimits().keyTerms, int maxChars = ServiceLimits().keyChars);

    // Whether the ad is one the query finds.
    bool matches(const AdRecord &ad) const;
    // Whether ads of this site, day and mark pass the days, marks and sites
    // (the terms aside).
    bool passes(const QString &site, const QDate &day, const QString &mark) const;
};

namespace AdKey {

// The key without NUL and other control characters (SQLite and the text
// index take NUL as an end of text), cut to maxChars.
QString clean(const QString &key, int maxChars);

// "07:30" or "7:30" gives "07:30"; the three all-day words stand as they are;
// anything else gives an empty text.
QString timeMark(const QString &text);
// The days of the year before, this year and the next that a "%m/%d" text can
// name; empty when the text is no month/day.
QList<QDate> daysFor(const QString &text, const QDate &today);
// Site names of a site-list value; empty for "1", an empty value or one of
// separators only, which all mean every site.
QStringList siteNames(const QString &siteListValue);

} // namespace AdKey
