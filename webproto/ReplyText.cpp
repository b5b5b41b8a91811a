#include "webproto/ReplyText.h"

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

std::optional<Status> readStatus(const QString &reply)
{
    qsizetype i = 0;
    while (i < reply.size() && reply[i].isSpace())
        ++i;
    if (i < reply.size() && (reply[i] == u'+' || reply[i] == u'-'))
        ++i;
    if (i >= reply.size() || !(reply[i] >= u'0' && reply[i] <= u'9'))
        return std::nullopt;
    Status status;
    status.code = WebText::parseLeadingInt(reply);
    const qsizetype bar = reply.indexOf(u'|');
    if (bar >= 0)
        status.message = reply.mid(bar + 1);
    return status;
}

} // namespace ReplyText
