#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

#include <QString>
#include <QStringList>

#include "webproto/WebProtocol.h"
#include "webproto/WebText.h"

using WebText::Md5Hex;
using WebText::SplitText;

struct HttpTimeouts {
    // Longest wait for the connection and for any further bytes.
    std::chrono::milliseconds connect{10'000};
    // Longest wait for the whole request.
    std::chrono::milliseconds total{30'000};
};

// Most bytes of a reply that are read; the rest is never looked at.
inline constexpr int kMaxReplyBytes = 9'999;

// One GET on the calling thread, which blocks in a local event loop (timers
// and posted events of that thread keep running; user input waits). Any
// thread works, a QCoreApplication must exist. Uses the system's proxy
// settings. Only status 200 counts; its first kMaxReplyBytes bytes are
// decoded from GBK up to the first NUL. nullopt for every failure: no
// connection, another status, a time-out.
std::optional<QString> HttpFetch(const QString &url, const HttpTimeouts &timeouts = {});
// The reply text, empty when the request failed.
QString HttpGet(const QString &url, const HttpTimeouts &timeouts = {});

// The integer at the start of a text, read the way C's strtol reads it:
// leading white space, an optional sign, decimal digits up to the first
// other character; 0 without digits, clamped to the int range.
int ParseLeadingInt(const QString &text);

// The web service: its address "http://host:40000" and how requests to it
// are made and signed. The program uses Instance(), built from the host
// configured at build time; tests point it at a server of their own and
// replace its clock and random numbers.
class ServiceBase {
public:
    static constexpr quint16 kDefaultPort = 40000;
    using Clock = std::function<qint64()>; // seconds since 1970-01-01 UTC
    using Random = std::function<int()>;   // 0 to 32767

    ServiceBase();
    static ServiceBase &Instance();

    void setEndpoint(const QString &host, quint16 port);
    void setTimeouts(const HttpTimeouts &timeouts);
    void setClock(Clock clock);
    void setRandom(Random random);
    // Built-in host and port, default time-outs, system clock and random.
    void restoreDefaults();

    // "http://host:port", without a trailing '/'.
    QString address() const;
    HttpTimeouts timeouts() const;

    // The signed query (see WebProtocol::signedQuery) at this service's
    // clock and random number.
    QString BuildSignedQuery(const QString &type, const QString &userName, const QString &password) const;

    // GET of address() + pathAndQuery.
    std::optional<QString> fetch(const QString &pathAndQuery) const;

private:
    mutable std::mutex mutex;
    QString host;
    quint16 port = kDefaultPort;
    HttpTimeouts httpTimeouts;
    Clock clock;
    Random random;
};

// The signed query of ServiceBase::Instance().
QString BuildSignedQuery(const QString &type, const QString &userName, const QString &password);

// Logs in to the web service ("1" from the login dialog, "2" for the
// periodic refresh) and stores the result in AccountState::Instance().
// True when a readable reply came, whatever its code (see loginCode and
// loginMessage); false, leaving the state as it was, when the user name or
// password is empty (no request is made), the request failed, or the reply
// had no field. A success code (0) without the mailbox field sets loginCode
// to 0 and returns false.
bool Login(const QString &userName, const QString &password, const QString &type);
