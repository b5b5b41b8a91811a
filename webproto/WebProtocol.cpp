#include "webproto/WebProtocol.h"

#include "webproto/WebText.h"

namespace WebProtocol {

QString checkDigest(const QString &user, const QString &password, const QString &type, const QString &rand,
                    const QString &time)
{
    bool ok = false;
    const qint64 seconds = time.toLongLong(&ok);
    const QString minutes = ok ? QString::number(seconds / 60) : QString();
    return WebText::Md5Hex(user + password + type + QLatin1String(kCheckSalt) + minutes + rand + time);
}

QString accountKey(const QString &user, const QString &password, const QString &time)
{
    return WebText::Md5Hex(QLatin1String(kAccountSalt) + user + password + time);
}

QString queryValue(const QString &value)
{
    return QString::fromLatin1(WebText::percentEncode(value));
}

QString signedQuery(const QString &type, const QString &user, const QString &password, qint64 unixSeconds,
                    int random)
{
    const QString rand = QString::number(random);
    const QString time = QString::number(unixSeconds);
    return QLatin1String("user=") + queryValue(user) + QLatin1String("&pass=") + queryValue(password) +
           QLatin1String("&type=") + queryValue(type) + QLatin1String("&rand=") + rand +
           QLatin1String("&time=") + time + QLatin1String("&check=") +
           checkDigest(user, password, type, rand, time);
}

QString accountAddQuery(const QString &user, const QString &password, const QString &qq, qint64 unixSeconds)
{
    const QString time = QString::number(unixSeconds);
    return QLatin1String("time=") + time + QLatin1String("&user=") + queryValue(user) +
           QLatin1String("&pass=") + queryValue(password) + QLatin1String("&key=") +
           accountKey(user, password, time) + QLatin1String("&qq=") + queryValue(qq);
}

QString target(const char *path, const QString &query)
{
    return QLatin1String(path) + QLatin1Char('?') + query;
}

} // namespace WebProtocol
