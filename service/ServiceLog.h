#pragma once

#include <QString>

// One line per event on standard error, stamped with the local time. Tests may
// silence it; the service itself always writes.
namespace ServiceLog {

void line(const QString &text);
void setEnabled(bool enabled);

} // namespace ServiceLog
