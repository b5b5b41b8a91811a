#include "service/web/WebService.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

#include "service/store/AccountStore.h"
#include "service/web/BannerImage.h"
#include "service/guard/LoginThrottle.h"
#include "service/store/PasswordHash.h"
#include "webproto/ReplyText.h"
#include "service/search/SearchPool.h"
#include "service/ServiceLog.h"
#include "service/web/WebAuth.h"
#include "webproto/WebProtocol.h"
#include "webproto/WebText.h"
#include "base/ThreadHandoff.h"

namespace {

const QString kBannerPath = QStringLiteral("/banner.html");
const QByteArray kBannerImagePath = "/banner.png";

QString value(const QHash<QString, QString> &args, const char *name)
{
    return args.value(QLatin1String(name));
}

bool onlyOf(const QString &text, const QRegularExpression &pattern)
{
    return pattern.match(text).hasMatch();
}

} // namespace

WebService::WebService(AccountStore &accounts, LoginThrottle &throttle, const ServiceLimits &limits,
                       QObject *parent)
    : QObject(parent), accounts(accounts), throttle(throttle), maxAddresses(limits.maxAddressesPerAccount),
      replays(limits.replayEntries, WebAuth::kMaxClockSkewSecs),
      signUps(limits.signUpsPerAddress, limits.signUpWindowSecs),
      now([] { return QDateTime::currentSecsSinceEpoch(); }),
      defaultNotice(QStringLiteral("欢迎使用Vorlant，广告变化第一时间提醒。"))
{
}

QHash<QString, QString> WebService::parseQuery(const QByteArray &query)
{
    QHash<QString, QString> args;
    for (const QByteArray &pair : query.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        const QString name = WebText::percentDecode(equals < 0 ? pair : pair.left(equals));
        const QString val = equals < 0 ? QString() : WebText::percentDecode(pair.mid(equals + 1));
        if (!args.contains(name))
            args.insert(name, val);
    }
    return args;
}

void WebService::handle(const HttpRequest &request, HttpServer::Respond respond)
{
    const QByteArray path = request.path.toLower();
    const QHash<QString, QString> args = parseQuery(request.query);
    if (path == WebProtocol::Path::Login) {
        authenticate(request, args, {QStringLiteral("1"), QStringLiteral("2")}, std::move(respond),
                     [this, request](const AccountRecord &a) { return login(request, a); });
        return;
    }
    if (path == WebProtocol::Path::GetUserDomainInfo) {
        authenticate(request, args, {QStringLiteral("2")}, std::move(respond),
                     [this](const AccountRecord &a) { return domainInfo(a); });
        return;
    }
    if (path == WebProtocol::Path::AddDomain) {
        authenticate(request, args, {QStringLiteral("2")}, std::move(respond),
                     [this, args](const AccountRecord &a) { return addDomain(a, args); });
        return;
    }
    if (path == WebProtocol::Path::DelDomain) {
        authenticate(request, args, {QStringLiteral("2")}, std::move(respond),
                     [this, args](const AccountRecord &a) { return delDomain(a, args); });
        return;
    }
    if (path == WebProtocol::Path::AccountAdd) {
        respond(accountAdd(request, args));
        return;
    }
    if (path == "/" || path == "/index.html") {
        respond(page(request, false));
        return;
    }
    if (path == kBannerPath.toLatin1()) {
        respond(page(request, true));
        return;
    }
    HttpReply reply;
    if (path == kBannerImagePath) {
        reply.contentType = "image/png";
        reply.body = BannerImage::png();
    } else {
        reply.status = 404;
        reply.body = "not found";
    }
    respond(reply);
}

HttpReply WebService::text(const QString &body)
{
    HttpReply reply;
    reply.body = ReplyText::encode(body);
    return reply;
}

HttpReply WebService::failure(int code, const QString &message)
{
    return text(QString::number(code) + QLatin1Char('|') + ReplyText::field(message));
}

void WebService::authenticate(const HttpRequest &request, const QHash<QString, QString> &args,
                              const QStringList &types, HttpServer::Respond respond, WithAccount withAccount)
{
    const QString user = value(args, "user");
    const QString pass = value(args, "pass");
    const QString type = value(args, "type");
    const QString rand = value(args, "rand");
    const QString time = value(args, "time");
    const QString check = value(args, "check");
    if (user.isEmpty() || pass.isEmpty() || !types.contains(type) ||
        !WebAuth::sameDigest(WebProtocol::checkDigest(user, pass, type, rand, time), check)) {
        respond(failure(BadCheck, QStringLiteral("请求校验失败，请使用正版客户端。")));
        return;
    }
    if (!WebAuth::isFresh(time, now())) {
        respond(failure(StaleTime, QStringLiteral("电脑时间不正确，请校准时间后再登录。")));
        return;
    }
    const QString address = request.peer.toString();
    if (!throttle.allows(user, address)) {
        respond(failure(BadLogin, QStringLiteral("登录失败次数过多，请稍后再试。")));
        return;
    }
    // The digest proves only that the sender knew the password it carries;
    // that password is then checked against the stored hash.
    bool unread = false;
    const std::optional<AccountRecord> account = accounts.account(user, &unread);
    if (unread) {
        // Not the user's failure: nothing is counted against the name.
        respond(failure(Failed, QStringLiteral("服务器繁忙，请稍后再试！")));
        return;
    }
    const QString stored = account ? account->password : QString();
    checkPassword(stored, pass,
                  [this, account, user, address, time, rand, check, respond = std::move(respond),
                   withAccount = std::move(withAccount)](bool matches) {
                      if (!matches) {
                          throttle.failed(user, address);
                          respond(failure(BadLogin, QStringLiteral("用户名或密码错误！")));
                          return;
                      }
                      throttle.succeeded(user);
                      switch (replays.admit(user, time.toLongLong(), rand, check, now())) {
                      case ReplayGuard::Result::Fresh:
                          respond(withAccount(*account));
                          return;
                      case ReplayGuard::Result::Replayed:
                          respond(failure(BadCheck, QStringLiteral("请求已使用过，请重新登录。")));
                          return;
                      case ReplayGuard::Result::Full:
                          ServiceLog::line(
                              QStringLiteral("web: replay record full, request of %1 refused").arg(user));
                          respond(failure(Failed, QStringLiteral("服务器繁忙，请稍后再试！")));
                          return;
                      }
                  });
}

void WebService::checkPassword(const QString &stored, const QString &password, std::function<void(bool)> done)
{
    const PasswordHash hash = accounts.passwordHash();
    if (!pool) {
        done(AccountStore::passwordMatches(stored, password, hash));
        return;
    }
    // The check costs tens of milliseconds: a crowd logging in at once
    // would hold every other request on the event loop.
    pool->run([this, stored, password, hash, done = std::move(done)](AdStore &) {
        const bool matches = AccountStore::passwordMatches(stored, password, hash);
        base::postQueued(this, [done, matches] { done(matches); });
    });
}

QString WebService::selfAddress(const HttpRequest &request, const QString &value) const
{
    if (!value.startsWith(QLatin1Char('/')))
        return value;
    if (!publicUrl.isEmpty())
        return publicUrl + value;
    // Never the Host header: that is the client's to write, and the address
    // ends up in pages and in the links the client opens.
    const QString address = request.localAddress.protocol() == QAbstractSocket::IPv6Protocol
                                ? QLatin1Char('[') + request.localAddress.toString() + QLatin1Char(']')
                                : request.localAddress.toString();
    return QStringLiteral("http://%1:%2%3").arg(address).arg(request.localPort).arg(value);
}

HttpReply WebService::login(const HttpRequest &request, const AccountRecord &a)
{
    const QString created = QDateTime::fromSecsSinceEpoch(a.created).toString(QStringLiteral("yyyy-MM-dd"));
    // 0 | user | QQ | member since | mailbox | notice | link | monitored count | banner page
    const QStringList fields = {QStringLiteral("0"),
                                a.user,
                                a.qq,
                                created,
                                a.mailbox,
                                a.notice.isEmpty() ? defaultNotice : a.notice,
                                selfAddress(request, a.linkUrl.isEmpty() ? QStringLiteral("/") : a.linkUrl),
                                QString::number(accounts.addresses(a.id).size()),
                                selfAddress(request, a.pageUrl.isEmpty() ? kBannerPath : a.pageUrl)};
    return text(ReplyText::join(fields, QLatin1Char('|')));
}

HttpReply WebService::domainInfo(const AccountRecord &account)
{
    QStringList records;
    int number = 0;
    for (const MonitoredAddress &a : accounts.addresses(account.id)) {
        records.append(ReplyText::join({QString::number(++number), a.url, a.remindType, a.remark,
                                        a.publishing, QString::number(a.jinminhou)},
                                       QLatin1Char(';')));
    }
    return text(records.join(QLatin1Char('|')));
}

HttpReply WebService::addDomain(const AccountRecord &account, const QHash<QString, QString> &args)
{
    MonitoredAddress address;
    address.url = value(args, "monitor_url");
    address.remindType = value(args, "monitor_type");
    address.remark = value(args, "monitor_remark");
    address.publishing = value(args, "monitor_publishing");
    address.jinminhou = value(args, "jinminhou").trimmed() == QLatin1String("1") ? 1 : 0;
    if (address.url.trimmed().isEmpty())
        return failure(BadRequest, QStringLiteral("监控的网址为空！"));
    if (address.url.size() > WebProtocol::kMaxAddressChars)
        return failure(Refused,
                       QStringLiteral("监控的网址不能超过%1个字符！").arg(WebProtocol::kMaxAddressChars));
    if (address.remark.size() > WebProtocol::kMaxRemarkChars)
        return failure(Refused, QStringLiteral("备注不能超过%1个字符！").arg(WebProtocol::kMaxRemarkChars));
    // An address already in the list is changed in place; only a new one
    // counts against the limit, so lists stored above it keep working.
    const QList<MonitoredAddress> stored = accounts.addresses(account.id);
    const bool isNew = std::none_of(stored.cbegin(), stored.cend(),
                                    [&](const MonitoredAddress &a) { return a.url == address.url; });
    if (isNew && stored.size() >= maxAddresses)
        return failure(
            Refused, QStringLiteral("监控的网址已达上限（%1个），请先删除不需要的网址。").arg(maxAddresses));
    // An empty selection means every site; stored as such so that it never
    // travels as an empty field.
    if (WebText::SplitText(address.publishing, QLatin1Char('~')).isEmpty())
        address.publishing = QStringLiteral("1");
    if (!accounts.putAddress(account.id, address))
        return failure(Failed, QStringLiteral("保存失败，请稍后再试！"));
    emit addressesChanged(account.user, {address.url});
    return text(QStringLiteral("0|保存成功"));
}

HttpReply WebService::delDomain(const AccountRecord &account, const QHash<QString, QString> &args)
{
    const QString url = value(args, "monitor_url");
    switch (accounts.removeAddress(account.id, url)) {
    case AccountStore::RemoveResult::Removed:
        break;
    case AccountStore::RemoveResult::NotFound:
        return failure(Refused, QStringLiteral("该网址不在监控列表中。"));
    case AccountStore::RemoveResult::Failed:
        return failure(Failed, QStringLiteral("保存失败，请稍后再试！"));
    }
    emit addressesChanged(account.user, {url});
    return text(QStringLiteral("0|删除成功"));
}

HttpReply WebService::accountAdd(const HttpRequest &request, const QHash<QString, QString> &args)
{
    const QString time = value(args, "time");
    const QString user = value(args, "user");
    const QString pass = value(args, "pass");
    const QString qq = value(args, "qq");
    if (!WebAuth::sameDigest(WebProtocol::accountKey(user, pass, time), value(args, "key")))
        return failure(BadCheck, QStringLiteral("请求校验失败，请使用正版客户端。"));
    if (!WebAuth::isFresh(time, now()))
        return failure(StaleTime, QStringLiteral("电脑时间不正确，请校准时间后再试。"));
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]{1,10}$"));
    static const QRegularExpression qqNumber(QStringLiteral("^[0-9]{5,20}$"));
    if (!onlyOf(user, name))
        return failure(Refused, QStringLiteral("账号必须由不超过10位的英文字母和数字组成！"));
    if (pass.isEmpty() || pass.size() > 10)
        return failure(Refused, QStringLiteral("密码长度必须为1到10位！"));
    if (pass == user)
        return failure(Refused, QStringLiteral("账号密码不能一样！"));
    if (!onlyOf(qq, qqNumber))
        return failure(Refused, QStringLiteral("QQ号码必须为至少5位的数字！"));
    // Counted only here, where a request could create an account or tell
    // that a name is taken.
    if (!signUps.admit(request.peer.toString(), now()))
        return failure(Refused, QStringLiteral("申请过于频繁，请稍后再试！"));
    switch (accounts.create(user, pass, qq, now())) {
    case AccountStore::CreateResult::Created:
        ServiceLog::line(QStringLiteral("web account %1 created").arg(user));
        return text(QStringLiteral("0"));
    case AccountStore::CreateResult::Exists:
        return failure(Refused, QStringLiteral("账号已存在！"));
    case AccountStore::CreateResult::Failed:
        break;
    }
    return failure(Failed, QStringLiteral("创建失败，请稍后再试！"));
}

HttpReply WebService::page(const HttpRequest &request, bool banner) const
{
    // A configured address may hold anything: written as text, never as markup.
    const QString self = selfAddress(request, QStringLiteral("/")).toHtmlEscaped();
    // The banner is a strip of about 480 × 60 pixels: a table of one row, as simple pages
    // were written, with the badge, the line and a link to the service's own page.
    const QString body =
        banner
            ? QStringLiteral(
                  "<!DOCTYPE html><html><head><meta charset=\"GBK\"><title>Vorlant</title></head>"
                  "<body bgcolor=\"#12355b\" style=\"margin:0\">"
                  "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"4\" bgcolor=\"#12355b\"><tr>"
                  "<td width=\"44\"><img src=\"banner.png\" width=\"%2\" height=\"%2\" alt=\"Vorlant\"></td>"
                  "<td><font color=\"#ffd34e\"><b>Vorlant</b></font> <font color=\"#ffffff\">"
                  "发布站广告监控 &mdash; 新服开区、广告变化第一时间提醒。</font></td>"
                  "<td align=\"right\"><a href=\"%1\"><font color=\"#ffd34e\">了解详情</font></a></td>"
                  "</tr></table></body></html>")
                  .arg(self, QString::number(BannerImage::kSide))
            : QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"GBK\"><title>Vorlant</title></head>"
                             "<body><h1>Vorlant 参考服务</h1><p>登录、监控网址与账号申请由本服务提供。</p>"
                             "<p><a href=\"%1banner.html\">广告横幅</a></p></body></html>")
                  .arg(self);
    HttpReply reply;
    reply.contentType = "text/html; charset=GBK";
    reply.body = ReplyText::encode(body);
    return reply;
}
