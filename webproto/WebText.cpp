#include "webproto/WebText.h"

#include <climits>

#include <QCryptographicHash>
#include <QStringDecoder>
#include <QStringEncoder>

namespace WebText {

namespace {
constexpr const char *kAnsiCodePage = "GBK";
}

QByteArray toAnsi(const QString &text)
{
    QStringEncoder encoder(kAnsiCodePage);
    return encoder.encode(text);
}

QString fromAnsi(const QByteArray &bytes)
{
    QStringDecoder decoder(kAnsiCodePage);
    return decoder.decode(bytes);
}

QString Md5Hex(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(toAnsi(text), QCryptographicHash::Md5).toHex());
}

QStringList SplitText(const QString &text, QChar separator)
{
    return text.split(separator, Qt::SkipEmptyParts);
}

QByteArray percentEncode(const QString &value)
{
    return toAnsi(value).toPercentEncoding();
}

QString percentDecode(const QByteArray &encoded)
{
    // QByteArray::fromPercentEncoding turns any "%" and the two bytes after
    // it into one byte, hex or not; only real escapes are decoded here.
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    QByteArray bytes;
    bytes.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && hexValue(encoded[i + 1]) >= 0 &&
            hexValue(encoded[i + 2]) >= 0) {
            bytes.append(char(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2])));
            i += 2;
        } else {
            bytes.append(encoded[i]);
        }
    }
    return fromAnsi(bytes);
}

int parseLeadingInt(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > qint64(INT_MAX) + 1)
            value = qint64(INT_MAX) + 1; // saturate; the sign decides below
    }
    if (negative)
        return int(-value);
    return value > INT_MAX ? INT_MAX : int(value);
}

} // namespace WebText
