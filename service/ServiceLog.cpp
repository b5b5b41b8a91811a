#include "service/ServiceLog.h"

#include <QDateTime>

#include <atomic>
#include <cstdio>

namespace ServiceLog {

namespace {
std::atomic<bool> enabled{true};
}

void line(const QString &text)
{
    if (!enabled.load())
        return;
    const QByteArray out =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")).toUtf8() +
        text.toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

void setEnabled(bool on)
{
    enabled = on;
}

} // namespace ServiceLog
