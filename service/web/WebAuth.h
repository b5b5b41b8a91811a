#pragma once

#include <QString>

// When the web service accepts a digest its client sent (the recipes are
// WebProtocol's): the clock must be close to ours and the hex must match.
namespace WebAuth {

// How far the client's clock may be from ours, either way.
constexpr qint64 kMaxClockSkewSecs = 300;

// True when time is a decimal count of seconds within the allowed skew of now.
bool isFresh(const QString &time, qint64 now);

// Digests compare without regard to hex letter case.
bool sameDigest(const QString &expected, const QString &given);

} // namespace WebAuth
