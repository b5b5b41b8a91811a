#include "platform/SafeOpen.h"

#include <QRegularExpression>
#include <QStringList>

namespace platform {

namespace {

std::optional<QUrl> webUrl(const QString &text)
{
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

// A host name (ASCII or not) or IPv4 text with at least one dot, optionally with a port,
// followed by nothing or by a path, query or fragment.
bool looksLikeBareHost(const QString &text)
{
    static const QRegularExpression host(
        QStringLiteral(
            R"(^[\p{L}\p{N}](?:[\p{L}\p{N}-]*[\p{L}\p{N}])?(?:\.[\p{L}\p{N}](?:[\p{L}\p{N}-]*[\p{L}\p{N}])?)+(?::\d{1,5})?(?:[/?#].*)?$)"),
        QRegularExpression::UseUnicodePropertiesOption);
    return host.match(text).hasMatch();
}

} // namespace

std::optional<QUrl> safeOpenTarget(const QString &text)
{
    QString first;
    const QStringList pieces = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        first = piece.trimmed();
        if (!first.isEmpty())
            break;
    }
    if (first.isEmpty() || first.contains(QLatin1Char('\\')))
        return std::nullopt;

    static const QRegularExpression schemePrefix(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (schemePrefix.match(first).hasMatch())
        return webUrl(first);
    // "javascript:..." or "C:" have a scheme without "//"; "host:8080" does not count as one.
    static const QRegularExpression opaqueScheme(
        QStringLiteral("^[A-Za-z][A-Za-z0-9+-]*:(?!\\d{1,5}(?:[/?#]|$))"));
    if (opaqueScheme.match(first).hasMatch())
        return std::nullopt;
    if (!looksLikeBareHost(first))
        return std::nullopt;
    return webUrl(QStringLiteral("http://") + first);
}

} // namespace platform
