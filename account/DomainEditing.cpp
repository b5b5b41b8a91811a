#include "account/DomainEditing.h"

#include "account/DomainService.h"
#include "account/ServiceBase.h"
#include "webproto/WebProtocol.h"

namespace {

bool holdsListSeparator(const QString &text)
{
    return text.contains(u'|') || text.contains(u';');
}

} // namespace

DomainEditCheck checkDomainEdit(const QString &typedUrl, const QString &remindText, const QString &remark)
{
    DomainEditCheck check;
    check.url = typedUrl;
    while (check.url.endsWith(u'/'))
        check.url.chop(1);
    if (check.url.isEmpty())
        check.error = QStringLiteral("监控的网址为空！");
    else if (remindText.isEmpty())
        check.error = QStringLiteral("提醒方式为空！");
    else if (!check.url.contains(QStringLiteral("http://")) &&
             !check.url.startsWith(QStringLiteral("https://")))
        check.error = QStringLiteral("监控的网址填写错误，请填写完整的网址 包含 http  https 。");
    else if (check.url.size() > WebProtocol::kMaxAddressChars)
        check.error = QStringLiteral("监控的网址太长，最多%1个字符。").arg(WebProtocol::kMaxAddressChars);
    else if (remark.size() > WebProtocol::kMaxRemarkChars)
        check.error = QStringLiteral("备注太长，最多%1个字符。").arg(WebProtocol::kMaxRemarkChars);
    else if (holdsListSeparator(check.url))
        check.error = QStringLiteral("监控的网址不能包含“|”或“;”。");
    else if (holdsListSeparator(remark))
        check.error = QStringLiteral("备注不能包含“|”或“;”。");
    if (!check.accepted())
        return check;
    // The end lost its slashes above; the start loses them here.
    while (check.url.startsWith(u'/'))
        check.url.remove(0, 1);
    return check;
}

ModifyPlan planModify(const DomainRecord &before, const DomainRecord &after)
{
    ModifyPlan plan;
    plan.deleteOld = after.url != before.url;
    plan.addNew = plan.deleteOld || after.remindType != before.remindType || after.remark != before.remark ||
                  after.jinminhou != before.jinminhou || after.publishing != before.publishing;
    return plan;
}

std::optional<DomainReply> sendDomainEdit(const DomainRecord *before, const DomainRecord &after)
{
    if (!before)
        return requestAddDomain(after);
    const ModifyPlan plan = planModify(*before, after);
    if (!plan.addNew)
        return std::nullopt;
    const DomainReply added = requestAddDomain(after);
    if (added.ok() && plan.deleteOld)
        DelDomain(before->url);
    return added;
}
