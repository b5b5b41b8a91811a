#include "service/store/PasswordHash.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <optional>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {

const QString kScheme = QStringLiteral("pbkdf2-sha256");
constexpr int kSaltBytes = 16;
constexpr int kDigestBytes = 32;

QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    const QByteArray secret = password.toUtf8();
    QByteArray out(kDigestBytes, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(secret.constData(), int(secret.size()),
                          reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()),
                          iterations, EVP_sha256(), int(out.size()),
                          reinterpret_cast<unsigned char *>(out.data())) != 1)
        return {};
    return out;
}

struct Parsed {
    int iterations = 0;
    QByteArray salt;
    QByteArray digest;
};

std::optional<Parsed> parse(const QString &stored)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts[0] != kScheme)
        return std::nullopt;
    Parsed p;
    bool ok = false;
    p.iterations = parts[1].toInt(&ok);
    const auto salt =
        QByteArray::fromBase64Encoding(parts[2].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto digest =
        QByteArray::fromBase64Encoding(parts[3].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!ok || p.iterations < 1 || !salt || salt.decoded.isEmpty() || !digest ||
        digest.decoded.size() != kDigestBytes)
        return std::nullopt;
    p.salt = salt.decoded;
    p.digest = digest.decoded;
    return p;
}

} // namespace

PasswordHash::PasswordHash(int iterations) : rounds(std::max(iterations, 1))
{
}

QString PasswordHash::make(const QString &password) const
{
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(salt.data()), int(salt.size())) != 1)
        return {};
    const QByteArray digest = derive(password, salt, rounds);
    if (digest.isEmpty())
        return {};
    return QStringList{kScheme, QString::number(rounds), QString::fromLatin1(salt.toBase64()),
                       QString::fromLatin1(digest.toBase64())}
        .join(QLatin1Char('$'));
}

bool PasswordHash::matches(const QString &stored, const QString &password)
{
    const std::optional<Parsed> p = parse(stored);
    if (!p)
        return false;
    const QByteArray digest = derive(password, p->salt, p->iterations);
    return digest.size() == p->digest.size() &&
           CRYPTO_memcmp(digest.constData(), p->digest.constData(), size_t(digest.size())) == 0;
}

void PasswordHash::waste(const QString &password) const
{
    derive(password, QByteArray(kSaltBytes, '\0'), rounds);
}

bool PasswordHash::isHash(const QString &stored)
{
    return parse(stored).has_value();
}
