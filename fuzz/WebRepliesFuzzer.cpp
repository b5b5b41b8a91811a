// The client's readers of web-service replies: login, the list of monitored
// addresses and the new-account answer, each fed the bytes of a reply body
// as the HTTP client hands them over. Properties are the readers' promises.
#include <cstdint>
#include <map>

#include <QByteArray>
#include <QString>

#include "account/DomainService.h"
#include "account/ServiceBase.h"
#include "account/dialogs/AccountChecks.h"
#include "fuzz/FuzzSupport.h"

namespace {

using FuzzSupport::require;

void checkLogin(const QString &text)
{
    const LoginResult r = parseLoginReply(text);
    switch (r.outcome) {
    case LoginResult::NoReply:
        require(r.code == -1, "no code without a reply");
        break;
    case LoginResult::Refused:
        require(r.code != 0 && !r.message.isEmpty(), "a refusal has a code and a message");
        break;
    case LoginResult::Incomplete:
        require(r.code == 0 && r.mailbox.isEmpty(), "an incomplete login has code 0 and no mailbox");
        break;
    case LoginResult::LoggedIn:
        require(r.code == 0 && !r.mailbox.isEmpty(), "a login has code 0 and a mailbox");
        break;
    case LoginResult::NotSent:
        require(false, "a reply was read");
    }
    require(r.loggedIn() || (!r.noticeText && !r.linkUrl && !r.pageUrl), "extras come only with a login");
}

void checkDomains(const QString &text)
{
    DomainRecord kept;
    kept.url = QStringLiteral("a.example");
    kept.adCount = 5;
    kept.updateTime = 99;
    const std::map<QString, DomainRecord> previous{{kept.url, kept}};
    for (const auto &[url, record] : parseDomainList(text, previous)) {
        require(url == record.url && !url.isEmpty(), "an address is its record's key");
        require(!record.remindType.isEmpty(), "a record has its reminder");
        require(!url.contains(u'|') && !url.contains(u';'), "an address holds no separator");
        const bool wasListed = url == kept.url;
        require(record.adCount == (wasListed ? kept.adCount : 0) &&
                    record.updateTime == (wasListed ? kept.updateTime : 0),
                "counters come from the previous list only");
    }
}

void checkAccountAdd(const QString &text)
{
    require(accountAddProblem(text).isEmpty() == (text == QStringLiteral("0")),
            "only \"0\" creates an account");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The HTTP client never reads more than this of a reply.
    const QByteArray body(reinterpret_cast<const char *>(data),
                          qsizetype(std::min(size, size_t(kMaxReplyBytes))));
    const QString text = replyText(body);
    require(!text.contains(QChar(u'\0')), "a reply text ends at its first NUL");
    checkLogin(text);
    checkDomains(text);
    checkAccountAdd(text);
    (void)parseLeadingInt(text);
    return 0;
}
