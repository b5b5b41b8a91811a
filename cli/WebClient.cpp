#include "cli/WebClient.h"

#include "account/DomainService.h"
#include "cli/CliFailure.h"
#include "webproto/ReplyText.h"
#include "webproto/WebProtocol.h"

namespace cli {

WebClient::WebClient(const ServiceBase &service, Credentials credentials)
    : service(service), credentials(std::move(credentials))
{
}

QString WebClient::get(const char *path, const QString &parameters) const
{
    const HttpFetchResult reply = service.request(WebProtocol::target(
        path,
        service.BuildSignedQuery(QStringLiteral("2"), credentials.user, credentials.password) + parameters));
    switch (reply.failure) {
    case HttpFetchResult::Failure::None:
        return *reply.text;
    case HttpFetchResult::Failure::HttpStatus:
        throw Failure{
            Refused,
            QStringLiteral("web service %1 refused the request: %2").arg(service.address(), reply.reason)};
    case HttpFetchResult::Failure::NoAnswer:
        break;
    }
    throw Failure{
        Unreachable,
        QStringLiteral("web service %1 cannot be reached: %2").arg(service.address(), reply.reason)};
}

void WebClient::logIn(const QString &type) const
{
    const HttpFetchResult reply = service.request(WebProtocol::target(
        WebProtocol::Path::Login, service.BuildSignedQuery(type, credentials.user, credentials.password)));
    if (reply.failure == HttpFetchResult::Failure::HttpStatus)
        throw Failure{
            Refused,
            QStringLiteral("web service %1 refused the login: %2").arg(service.address(), reply.reason)};
    if (reply.failure == HttpFetchResult::Failure::NoAnswer)
        throw Failure{
            Unreachable,
            QStringLiteral("web service %1 cannot be reached: %2").arg(service.address(), reply.reason)};
    const LoginResult result = parseLoginReply(*reply.text);
    if (result.loggedIn())
        return;
    if (result.outcome == LoginResult::NoReply)
        throw Failure{Refused, QStringLiteral("web service %1 answered the login with an unreadable reply: "
                                              "\"%2\"")
                                   .arg(service.address(), reply.text->left(200))};
    throw Failure{Refused, result.message.isEmpty() ? QStringLiteral("login refused") : result.message};
}

std::map<QString, DomainRecord> WebClient::domains() const
{
    return parseDomainList(get(WebProtocol::Path::GetUserDomainInfo), {});
}

void WebClient::add(const DomainRecord &record) const
{
    requireSaved(get(WebProtocol::Path::AddDomain,
                     QLatin1String("&monitor_url=") + WebProtocol::queryValue(record.url) +
                         QLatin1String("&monitor_type=") + WebProtocol::queryValue(record.remindType) +
                         QLatin1String("&monitor_remark=") + WebProtocol::queryValue(record.remark) +
                         QLatin1String("&monitor_publishing=") + WebProtocol::queryValue(record.publishing) +
                         QLatin1String("&jinminhou=") + QString::number(record.jinminhou)));
}

void WebClient::remove(const QString &url) const
{
    requireSaved(
        get(WebProtocol::Path::DelDomain, QLatin1String("&monitor_url=") + WebProtocol::queryValue(url)));
}

void WebClient::requireSaved(const QString &reply)
{
    const std::optional<ReplyText::Status> status = ReplyText::readStatus(reply);
    if (!status)
        throw Failure{Refused,
                      reply.isEmpty()
                          ? QStringLiteral("the web service answered with an empty reply")
                          : QStringLiteral("the web service answered with an unreadable reply: \"%1\"")
                                .arg(reply.left(200))};
    if (!status->ok())
        throw Failure{Refused,
                      status->message.trimmed().isEmpty()
                          ? QStringLiteral("the web service refused the request (code %1)").arg(status->code)
                          : status->message};
}

} // namespace cli
