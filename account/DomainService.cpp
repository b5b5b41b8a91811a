#include "account/DomainService.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>

#include "account/ActivityLog.h"
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
    const std::optional<QString> reply = ServiceBase::Instance().fetchWhole(
        WebProtocol::target(WebProtocol::Path::GetUserDomainInfo, signedQuery()), kMaxDomainListBytes);
    WriteLog(reply.value_or(QString()));
    AccountState &state = AccountState::Instance();
    // A failed request or a refusal says nothing about the list: keep it.
    QString reason;
    if (!reply) {
        reason = QStringLiteral("no answer");
    } else if (const std::optional<ReplyText::Status> status = statusInsteadOfList(*reply)) {
        reason = QStringLiteral("refused: %1|%2").arg(status->code).arg(status->message);
    }
    const QString note = domainRefreshNote(state.domainRefreshFailures, reason.isEmpty(), reason);
    if (!note.isEmpty())
        std::fputs((note + u'\n').toLocal8Bit().constData(), stdout);
    if (!reason.isEmpty())
        return false;
    state.domains = parseDomainList(*reply, state.domains);
    return true;
}

std::optional<ReplyText::Status> statusInsteadOfList(const QString &reply)
{
    // Every record of a list has fields split by ';'; a status starts with its bare code.
    const QStringList records = SplitText(reply, u'|');
    if (records.isEmpty() || records[0].contains(u';'))
        return std::nullopt;
    return ReplyText::readStatus(reply.trimmed());
}

DomainReply parseDomainReply(const std::optional<QString> &reply)
{
    DomainReply parsed;
    if (!reply)
        return parsed;
    parsed.answered = true;
    // An empty or garbled reply states no code, and is no success.
    const std::optional<ReplyText::Status> status = ReplyText::readStatus(*reply);
    parsed.code = status ? status->code : -1;
    const qsizetype bar = reply->indexOf(u'|');
    parsed.message = bar < 0 ? *reply : reply->mid(bar + 1);
    return parsed;
}

QString domainRefreshNote(int &failures, bool ok, const QString &reason)
{
    if (ok) {
        const int before = std::exchange(failures, 0);
        return before == 0
                   ? QString()
                   : QStringLiteral("address list: refreshed again after %1 failed tries").arg(before);
    }
    return ++failures == 1
               ? QStringLiteral("address list: refresh failed (%1); the list shown is kept").arg(reason)
               : QString();
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
    return found != domains.end() && remindTypeWantsPopup(found->second.remindType);
}
