#include "service/web/SignUpLimit.h"

namespace {

// Addresses are swept for idle ones once the table grows past this.
constexpr qsizetype kSweepSize = 4096;

} // namespace

SignUpLimit::SignUpLimit(int count, qint64 windowSecs) : count(count), windowSecs(windowSecs)
{
}

bool SignUpLimit::admit(const QString &address, qint64 now)
{
    const auto expired = [&](qint64 t) { return t <= now - windowSecs; };
    if (recent.size() >= kSweepSize) {
        recent.removeIf([&](const QHash<QString, QList<qint64>>::iterator it) {
            return it->isEmpty() || expired(it->last());
        });
    }
    QList<qint64> &times = recent[address];
    times.removeIf(expired);
    if (times.size() >= count)
        return false;
    times.append(now);
    return true;
}
