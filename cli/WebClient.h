#pragma once

#include <map>

#include <QString>

#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "cli/Credentials.h"

namespace cli {

// kestrel-cli's requests to the web service, signed with one account's
// credentials. Every request either brings the service's answer or throws a
// Failure: Unreachable when no answer came (no connection, a time-out),
// Refused when the service turned the request down, with its text or the
// HTTP status it answered with. A reply that is not the service's success
// is never taken for one.
class WebClient {
public:
    WebClient(const ServiceBase &service, Credentials credentials);

    // The login ("1" as the login command, "2" as before any other request);
    // throws unless it went through.
    void logIn(const QString &type) const;
    // The monitored addresses.
    std::map<QString, DomainRecord> domains() const;
    // Stores the record under its url (replacing an earlier one).
    void add(const DomainRecord &record) const;
    void remove(const QString &url) const;

private:
    // The reply text of a signed request.
    QString get(const char *path, const QString &parameters = QString()) const;
    // "0|..." passes; "<code>|message", an empty or unreadable reply is refused.
    static void requireSaved(const QString &reply);

    const ServiceBase &service;
    Credentials credentials;
};

} // namespace cli
