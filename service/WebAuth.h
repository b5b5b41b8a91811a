#pragma once

#include <QString>

// The digests by which the web service recognises its client: the check value
// of every signed query and the key of an account request. Both are computed
// over the decoded (raw) texts of the query.
namespace WebAuth {

// How far the client's clock may be from ours, either way.
constexpr qint64 kMaxClockSkewSecs = 300;

QString checkDigest(const QString &user, const QString &password, const QString &type, const QString &rand,
                    const QString &time);
QString accountKey(const QString &user, const QString &password, const QString &time);

// True when time is a decimal count of seconds within the allowed skew of now.
bool isFresh(const QString &time, qint64 now);

// Digests compare without regard to hex letter case.
bool sameDigest(const QString &expected, const QString &given);

} // namespace WebAuth
