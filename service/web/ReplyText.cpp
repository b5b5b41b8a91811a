#include "service/web/ReplyText.h"

#include "webproto/WebText.h"

namespace ReplyText {

QString field(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('|'), QChar(0xFF5C));
    out.replace(QLatin1Char(';'), QChar(0xFF1B));
    // The client cuts its reply at the first zero character.
    out.replace(QChar(0), QLatin1Char(' '));
    if (out.isEmpty())
        out = QStringLiteral(" ");
    return out;
}

QString join(const QStringList &fields, QChar separator)
{
    QStringList safe;
    safe.reserve(fields.size());
    for (const QString &f : fields)
        safe.append(field(f));
    return safe.join(separator);
}

QByteArray encode(const QString &text)
{
    return WebText::toAnsi(text);
}

} // namespace ReplyText
