#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The web service's replies are fields joined with "|" (records) and ";"
// (fields of a record). The client drops empty fields when it splits, which
// would shift every later field, so a field is never empty; and a separator
// inside a value would split it, so it is replaced by its full-width form.
namespace ReplyText {

QString field(const QString &text);
// Each field made safe by field(), joined with the separator.
QString join(const QStringList &fields, QChar separator);
// The reply body: GBK bytes.
QByteArray encode(const QString &text);

} // namespace ReplyText
