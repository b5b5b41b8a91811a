#include "service/web/WebAuth.h"

namespace WebAuth {

bool isFresh(const QString &time, qint64 now)
{
    bool ok = false;
    const qint64 seconds = time.toLongLong(&ok);
    if (!ok)
        return false;
    // Compared this way round so that no far-off value can overflow.
    return seconds >= now - kMaxClockSkewSecs && seconds <= now + kMaxClockSkewSecs;
}

bool sameDigest(const QString &expected, const QString &given)
{
    return !given.isEmpty() && expected.compare(given, Qt::CaseInsensitive) == 0;
}

} // namespace WebAuth
