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
std::optional<QString> httpFetch(const QString &url, const HttpTimeouts &timeouts = {});
// The same for a reply that must be read whole: up to maxBytes, and a longer
// one is a failure rather than a cut text.
std::optional<QString> httpFetchWhole(const QString &url, int maxBytes, const HttpTimeouts &timeouts = {});
// The same GET with why it failed: a refusal by the server (a status other
// than 200) told apart from no answer (no connection, a time-out, a reply cut
// short).
struct HttpFetchResult {
    enum class Failure { None, NoAnswer, HttpStatus };
    Failure failure = Failure::NoAnswer;
    int status = 0;              // the HTTP status, when one came
    std::optional<QString> text; // Failure::None: as httpFetch() hands it out
    QString reason;              // "HTTP 431 Request Header Fields Too Large", or the network's error
};
HttpFetchResult httpRequest(const QString &url, const HttpTimeouts &timeouts = {});
// The text of a reply body as httpFetch() hands it out: decoded from GBK and
// cut at the first NUL.
QString replyText(const QByteArray &body);
// The reply text, empty when the request failed.
QString HttpGet(const QString &url, const HttpTimeouts &timeouts = {});

using WebText::parseLeadingInt;

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
    // The same, read whole up to maxBytes (see httpFetchWhole).
    std::optional<QString> fetchWhole(const QString &pathAndQuery, int maxBytes) const;
    // The same GET with why it failed (see httpRequest).
    HttpFetchResult request(const QString &pathAndQuery) const;

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

class AccountState;

// What one login attempt brought back. The reply is "code|...": a code other
// than 0 comes with a message; 0 comes with the mailbox as field 4, the notice
// as 5, the link as 6 and the page as 8 (fields counted from 0, empty ones
// dropped before counting).
struct LoginResult {
    enum Outcome {
        NotSent,    // user name or password empty: no request was made
        NoReply,    // the request failed, or the reply was shorter than two characters or had no field
        Refused,    // a code other than 0
        Incomplete, // code 0 without the mailbox field: not a usable login
        LoggedIn,   // code 0 with the mailbox
    };
    Outcome outcome = NotSent;
    int code = -1;   // the reply's code (0 for Incomplete and LoggedIn); -1 without one
    QString message; // Refused: field 1 when the reply had exactly two fields, else field 0
    QString mailbox; // LoggedIn only, like the three below
    std::optional<QString> noticeText;
    std::optional<QString> linkUrl;
    std::optional<QString> pageUrl;

    bool loggedIn() const { return outcome == LoggedIn; }
    // A readable reply with a code the service meant, whatever the code.
    bool answered() const { return outcome == Refused || outcome == LoggedIn; }
};

// One login request to the service ("1" from the login dialog, "2" for the
// periodic refresh); stores nothing.
LoginResult requestLogin(const ServiceBase &service, const QString &userName, const QString &password,
                         const QString &type);

// What a login reply says; NoReply for a text too short or without a field.
LoginResult parseLoginReply(const QString &reply);

// Stores an attempt's result in the account, under its lock, and is the only
// place that does. Refused: loginCode and loginMessage. Incomplete: loginCode
// alone. LoggedIn: loginCode, the credentials the attempt was made with, the
// mailbox and whichever of notice, link and page the reply had. NotSent and
// NoReply leave the account as it was.
void storeLogin(AccountState &account, const LoginResult &result, const QString &userName,
                const QString &password);

// requestLogin() with ServiceBase::Instance(), stored in AccountState::Instance().
LoginResult Login(const QString &userName, const QString &password, const QString &type);
