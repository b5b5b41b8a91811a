#pragma once

#include <QString>

#include "service/ServiceLimits.h"

// Passwords at rest: PBKDF2-HMAC-SHA256 with a random salt per password,
// kept as "pbkdf2-sha256$<iterations>$<salt>$<digest>" (base64). A stored
// value carries its own iteration count, so changing the count for new
// passwords leaves older ones valid.
class PasswordHash {
public:
    explicit PasswordHash(int iterations = ServiceLimits().passwordHashIterations);

    int iterations() const { return rounds; }
    // A new stored value with a fresh salt; empty only if the library fails.
    QString make(const QString &password) const;
    // Compares in constant time; false for a value that is no stored hash.
    static bool matches(const QString &stored, const QString &password);
    // Spends the time of one check on nothing, so that an unknown user takes
    // as long to refuse as a wrong password.
    void waste(const QString &password) const;
    static bool isHash(const QString &stored);

private:
    int rounds;
};
