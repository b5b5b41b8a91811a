#include "service/ServiceLog.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "service/ServiceLimits.h"

namespace ServiceLog {

namespace {
std::atomic<bool> enabled{true};
std::atomic<int> valueLimit{ServiceLimits().logValueChars};
std::mutex sinkLock;
std::function<void(const QString &)> testSink;

qint64 steadyMs()
{
    static QElapsedTimer timer;
    static std::once_flag started;
    std::call_once(started, [] { timer.start(); });
    return timer.elapsed();
}

} // namespace

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029;
        if (!control) {
            out.append(c);
            continue;
        }
        switch (u) {
        case '\n':
            out.append(QLatin1String("\\n"));
            break;
        case '\r':
            out.append(QLatin1String("\\r"));
            break;
        case '\t':
            out.append(QLatin1String("\\t"));
            break;
        default:
            out.append(u < 0x100 ? QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'))
                                 : QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')));
        }
    }
    return out;
}

void line(const QString &text)
{
    const QString stamped =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + escaped(text);
    {
        std::lock_guard<std::mutex> guard(sinkLock);
        if (testSink) {
            testSink(stamped);
            return;
        }
    }
    if (!enabled.load())
        return;
    const QByteArray out = stamped.toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

void setEnabled(bool on)
{
    enabled = on;
}

QString value(const QString &text)
{
    const int limit = valueLimit.load();
    if (text.size() <= limit)
        return text;
    return text.left(limit) + QStringLiteral("…(%1 characters)").arg(text.size());
}

void setValueLimit(int characters)
{
    valueLimit = std::max(characters, 1);
}

void setSink(std::function<void(const QString &)> sink)
{
    std::lock_guard<std::mutex> guard(sinkLock);
    testSink = std::move(sink);
}

Budget::Budget(int lines, int windowSecs, Clock clock)
    : lines(std::max(lines, 1)), windowMs(qint64(std::max(windowSecs, 1)) * 1000),
      now(clock ? std::move(clock) : Clock(steadyMs)), windowStart(now())
{
}

Budget::~Budget()
{
    reportLeftOut(lastPrefix);
}

void Budget::line(const QString &prefix, const QString &text)
{
    lastPrefix = prefix;
    const qint64 t = now();
    if (t - windowStart >= windowMs) {
        reportLeftOut(prefix);
        windowStart = t;
        written = 0;
    }
    if (written >= lines) {
        ++leftOut;
        return;
    }
    ++written;
    ServiceLog::line(prefix + text);
}

void Budget::reportLeftOut(const QString &prefix)
{
    if (leftOut == 0)
        return;
    ServiceLog::line(prefix + QStringLiteral("%1 lines left out").arg(leftOut));
    leftOut = 0;
}

} // namespace ServiceLog
