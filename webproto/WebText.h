#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text helpers shared by the web-service client and the reference service.
// The service's code page is GBK: replies come in it and digests are taken
// over it. This is the one place that names it.
namespace WebText {

QByteArray toAnsi(const QString &text);
QString fromAnsi(const QByteArray &bytes);

// MD5 of the text's GBK bytes, lower-case hexadecimal.
QString Md5Hex(const QString &text);

// Pieces of text between separator characters; empty pieces are dropped.
QStringList SplitText(const QString &text, QChar separator);

// RFC 3986 percent-encoding of the value's GBK bytes: unreserved characters
// stay, every other byte becomes %XX.
QByteArray percentEncode(const QString &value);
// The inverse; bytes that are not a valid %XX escape are taken as they stand,
// so raw (unencoded) values are accepted too.
QString percentDecode(const QByteArray &encoded);

// The integer at the start of a text, read the way C's strtol reads it:
// leading white space, an optional sign, decimal digits up to the first
// other character; 0 without digits, clamped to the int range.
int parseLeadingInt(const QString &text);

} // namespace WebText
