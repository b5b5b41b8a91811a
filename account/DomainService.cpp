#include "account/DomainService.h"

#include <mutex>
#include <optional>

#include "account/ActivityLog.h"
#include "account/DomainEditing.h"
#include "account/ServiceBase.h"

namespace {

QString signedQuery()
{
    AccountState &state = AccountState::Instance();
    // The refresh thread's login may store the credentials meanwhile.
    std::lock_guard guard(state.lock);
    return BuildSignedQuery(QStringLiteral("2"), state.userName, state.password);
}

std::optional<QString> requestLogged(const char *path, const QString &parameters = QString())
{
    const std::optional<QString> reply =
        ServiceBase::Instance().fetch(WebProtocol::target(path, signedQuery() + parameters));
    WriteLog(reply.value_or(QString()));
    return reply;
}

DomainRecord recordFromFields(const QStringList &fields)
{
    DomainRecord record;
    record.url = fields[1];
    record.remindType = fields[2];
    if (fields.size() >= 5) {
        record.remark = fields[3];
        record.publishing = fields[4];
    }
    if (fields.size() >= 6)
        record.jinminhou = parseLeadingInt(fields[5]);
    return record;
}

} // namespace

QString GetUserDomainInfo()
{
    return requestLogged(WebProtocol::Path::GetUserDomainInfo).value_or(QString());
}

bool RefreshDomains()
{
    const std::optional<QString> reply = requestLogged(WebProtocol::Path::GetUserDomainInfo);
    if (!reply)
        return false; // a failed request says nothing about the list: keep it

    AccountState &state = AccountState::Instance();
    state.domains = parseDomainList(*reply, state.domains);
    return true;
}

std::map<QString, DomainRecord> parseDomainList(const QString &reply,
                                                const std::map<QString, DomainRecord> &previous)
{
    std::map<QString, DomainRecord> domains;
    for (const QString &text : SplitText(reply, u'|')) {
        const QStringList fields = SplitText(text, u';');
        if (fields.size() < 3)
            continue;
        DomainRecord record = recordFromFields(fields);
        const auto old = previous.find(record.url);
        if (old != previous.end()) {
            record.adCount = old->second.adCount;
            record.updateTime = old->second.updateTime;
        }
        domains.emplace(record.url, std::move(record)); // a repeated address keeps its first record
    }
    return domains;
}

bool AddDomain(DomainRecord record)
{
    return requestAddDomain(record).ok();
}

DomainReply requestAddDomain(const DomainRecord &record)
{
    return parseDomainReply(
        requestLogged(WebProtocol::Path::AddDomain,
                      QLatin1String("&monitor_url=") + WebProtocol::queryValue(record.url) +
                          QLatin1String("&monitor_type=") + WebProtocol::queryValue(record.remindType) +
                          QLatin1String("&monitor_remark=") + WebProtocol::queryValue(record.remark) +
                          QLatin1String("&monitor_publishing=") + WebProtocol::queryValue(record.publishing) +
                          QLatin1String("&jinminhou=") + QString::number(record.jinminhou)));
}

void DelDomain(const QString &url)
{
    requestDelDomain(url);
}

DomainReply requestDelDomain(const QString &url)
{
    return parseDomainReply(requestLogged(WebProtocol::Path::DelDomain,
                                          QLatin1String("&monitor_url=") + WebProtocol::queryValue(url)));
}

bool WantsLocalReminder(const QString &url)
{
    const auto &domains = AccountState::Instance().domains;
    const auto found = domains.find(url);
    return found != domains.end() && (found->second.remindType == u"1" || found->second.remindType == u"3");
}
