#include "WebAuth.h"

#include "account/WebText.h"

namespace WebAuth {

namespace {
const QString kCheckSalt = QStringLiteral("2016-11-27");
const QString kAccountSalt = QStringLiteral("20160524");
} // namespace

QString checkDigest(const QString &user, const QString &password, const QString &type, const QString &rand,
                    const QString &time)
{
    bool ok = false;
    const qint64 seconds = time.toLongLong(&ok);
    const QString minutes = ok ? QString::number(seconds / 60) : QString();
    return WebText::Md5Hex(user + password + type + kCheckSalt + minutes + rand + time);
}

QString accountKey(const QString &user, const QString &password, const QString &time)
{
    return WebText::Md5Hex(kAccountSalt + user + password + time);
}

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
