#include "WebText.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <QStringEncoder>

namespace WebText {

namespace {
constexpr const char *kAnsiCodePage = "GBK";
}

QByteArray ToAnsi(const QString &text)
{
    QStringEncoder encoder(kAnsiCodePage);
    return encoder.encode(text);
}

QString FromAnsi(const QByteArray &bytes)
{
    QStringDecoder decoder(kAnsiCodePage);
    return decoder.decode(bytes);
}

QString Md5Hex(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(ToAnsi(text), QCryptographicHash::Md5).toHex());
}

QStringList SplitText(const QString &text, QChar separator)
{
    return text.split(separator, Qt::SkipEmptyParts);
}

QByteArray PercentEncode(const QString &value)
{
    return ToAnsi(value).toPercentEncoding();
}

QString PercentDecode(const QByteArray &encoded)
{
    return FromAnsi(QByteArray::fromPercentEncoding(encoded));
}

} // namespace WebText
