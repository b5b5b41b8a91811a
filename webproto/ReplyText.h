#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

// The web service's replies, as the service writes them and the client reads
// them. They are fields joined with "|" (records) and ";" (fields of a
// record). The client drops empty fields when it splits, which would shift
// every later field, so a field is never empty; and a separator inside a
// value would split it, so it is replaced by its full-width form. A request
// that is answered with a status says "<code>|message" (code 0: done).
namespace ReplyText {

QString field(const QString &text);
// Each field made safe by field(), joined with the separator.
QString join(const QStringList &fields, QChar separator);
// The reply body: GBK bytes.
QByteArray encode(const QString &text);

// A status reply: its code and the text after the first "|" (empty when
// there is none).
struct Status {
    int code = -1;
    QString message;
    bool ok() const { return code == 0; }
};
// The status a reply states: its leading code read as C's strtol reads it
// (white space, a sign, digits). Nothing when the reply does not start with
// a code: an empty or garbled reply states nothing.
std::optional<Status> readStatus(const QString &reply);

} // namespace ReplyText
