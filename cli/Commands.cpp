#include "cli/Commands.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "account/AccountState.h"
#include "account/DomainEditing.h"
#include "account/DomainService.h"
#include "account/MainWindowLogic.h"
#include "account/ServiceBase.h"
#include "cli/Credentials.h"
#include "cli/DataLink.h"
#include "cli/RowWriter.h"
#include "cli/WebClient.h"
#include "records/AdRecords.h"
#include "search/SearchKeys.h"
#include "search/SearchPager.h"

namespace cli {

namespace {

std::atomic<DataLink *> watchLink{nullptr};

// Answers the three searches wait for; a longer silence counts as the server gone.
constexpr std::chrono::milliseconds kAnswerWait{SearchPager::kAnswerWaitMs};
constexpr std::chrono::seconds kHeartbeatEvery{30};

QString passwordFrom(const QString &file)
{
    // One line of standard input, even when a terminal is attached elsewhere;
    // typed at a terminal, it is not echoed.
    if (file == u"-")
        return ::isatty(STDIN_FILENO) == 1 ? promptSecret(QStringLiteral("密码: ")) : promptLine(QString());
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        throw Failure{UsageError, QStringLiteral("cannot read %1: %2").arg(file, in.errorString())};
    QByteArray line = in.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

// The options' credentials, else the kept ones.
Credentials credentialsFor(const Invocation &invocation)
{
    if (!invocation.user.isEmpty() || !invocation.passwordFile.isEmpty()) {
        if (invocation.user.isEmpty() || invocation.passwordFile.isEmpty())
            throw Failure{UsageError, QStringLiteral("--user and --password-file go together")};
        return {invocation.user, passwordFrom(invocation.passwordFile)};
    }
    if (const std::optional<Credentials> kept = CredentialFile().read())
        return *kept;
    throw Failure{Refused, QStringLiteral("not logged in: run kestrel-cli login first")};
}

// The web service at the invocation's endpoint, for the account.
WebClient webFor(const Invocation &invocation, const Credentials &credentials)
{
    ServiceBase::Instance().setEndpoint(invocation.endpoint.host, invocation.endpoint.webPort);
    return WebClient(ServiceBase::Instance(), credentials);
}

std::unique_ptr<DataLink> connectData(const Invocation &invocation, const Credentials &credentials)
{
    auto link =
        std::make_unique<DataLink>(invocation.endpoint.host, invocation.endpoint.dataPort, credentials);
    link->logIn();
    return link;
}

// Waits for the next message of type T, ignoring the others; nullopt when the
// time is up. onRelogin runs when a reconnection's login went through (an
// answer asked for on the old connection is lost).
template <class T>
std::unique_ptr<T> awaitMessage(DataLink &link, std::chrono::milliseconds wait,
                                const std::function<void()> &onRelogin = {})
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return nullptr;
        std::unique_ptr<MsgHeader> msg = link.next(left);
        if (!msg)
            return nullptr;
        if (auto *ack = dynamic_cast<MsgUserLoginAck *>(msg.get())) {
            if (ack->body.code() != 0)
                throw Failure{Refused, QString::fromStdString(ack->body.info())};
            if (onRelogin)
                onRelogin();
            continue;
        }
        if (auto *typed = dynamic_cast<T *>(msg.get())) {
            msg.release();
            return std::unique_ptr<T>(typed);
        }
    }
}

Failure noAnswer(const Invocation &invocation)
{
    return {Unreachable, QStringLiteral("data server %1:%2 did not answer")
                             .arg(invocation.endpoint.host)
                             .arg(invocation.endpoint.dataPort)};
}

// --- login, logout -------------------------------------------------------

void login(const Invocation &invocation)
{
    Credentials credentials;
    if (!invocation.passwordFile.isEmpty()) {
        credentials = credentialsFor(invocation);
    } else {
        credentials.user =
            invocation.user.isEmpty() ? promptLine(QStringLiteral("用户名: ")) : invocation.user;
        credentials.password = promptSecret(QStringLiteral("密码: "));
    }
    if (credentials.user.isEmpty() || credentials.password.isEmpty())
        throw Failure{UsageError, QStringLiteral("user name and password must not be empty")};
    webFor(invocation, credentials).logIn(QStringLiteral("1"));
    connectData(invocation, credentials);
    const CredentialFile file;
    file.write(credentials);
    std::fprintf(stderr, "%s\n",
                 QStringLiteral("logged in as %1; kept in %2")
                     .arg(credentials.user, file.path())
                     .toUtf8()
                     .constData());
}

void logout(const Invocation &)
{
    const CredentialFile file;
    if (file.remove())
        std::fprintf(stderr, "%s\n", QStringLiteral("removed %1").arg(file.path()).toUtf8().constData());
}

// --- the monitored addresses ----------------------------------------------

// The list reply carries no refusal code of its own (a bad login comes back
// as "<code>|message" and reads as a list without records): a login first.
std::map<QString, DomainRecord> loggedInDomains(const WebClient &web)
{
    web.logIn(QStringLiteral("2"));
    return web.domains();
}

void list(const Invocation &invocation)
{
    const Credentials credentials = credentialsFor(invocation);
    const std::map<QString, DomainRecord> domains = loggedInDomains(webFor(invocation, credentials));
    // The counts come with the first notification after the data server's login.
    const std::unique_ptr<DataLink> link = connectData(invocation, credentials);
    const std::unique_ptr<MsgUserAdsChangeNtf> ads = awaitMessage<MsgUserAdsChangeNtf>(*link, kAnswerWait);
    if (!ads)
        throw noAnswer(invocation);
    // Counted and written as the main window does.
    AccountData account;
    account.domains = domains;
    const qint32 now = qint32(QDateTime::currentSecsSinceEpoch());
    MainWindowLogic::applyAdsChange(account, ads->body, now);
    const QString updated = formatLocalTime(now);

    auto out = RowWriter::create(invocation.format, stdout,
                                 {{QStringLiteral("url"), QStringLiteral("监控的网址")},
                                  {QStringLiteral("remark"), QStringLiteral("备注")},
                                  {QStringLiteral("remind"), QStringLiteral("提醒方式")},
                                  {QStringLiteral("near_days"), QStringLiteral("只今明后")},
                                  {QStringLiteral("sites"), QStringLiteral("发布站")},
                                  {QStringLiteral("ads"), QStringLiteral("广告数")},
                                  {QStringLiteral("updated"), QStringLiteral("更新时间")}});
    for (const auto &[url, record] : account.domains) {
        const QStringList cells = MainWindowLogic::domainRowTexts(record);
        out->row({record.url, record.remark, cells[2], cells[3], record.publishing, qint64(record.adCount),
                  updated});
    }
    out->finish();
}

QString remindTextOf(const QString &word)
{
    static const std::map<QString, QString> codes = {{QStringLiteral("local"), QStringLiteral("1")},
                                                     {QStringLiteral("qq"), QStringLiteral("2")},
                                                     {QStringLiteral("both"), QStringLiteral("3")},
                                                     {QStringLiteral("none"), QStringLiteral("4")}};
    if (word.isEmpty())
        return QString(); // "no reminder chosen": the shared checks refuse it
    const auto found = codes.find(word);
    if (found == codes.end())
        throw Failure{UsageError, QStringLiteral("--remind is local, qq, both or none, not %1").arg(word)};
    return remindTypeText(found->second);
}

// Checks the edited values as the address dialog does and sends them as the
// main window does: a changed address is added anew and the old one removed
// once the service took the new one, so a refusal never leaves neither watched.
void sendEdit(const WebClient &web, const DomainRecord *before, DomainRecord after, const QString &remindText)
{
    const DomainEditCheck check = checkDomainEdit(after.url, remindText, after.remark);
    if (!check.accepted())
        throw Failure{Refused, check.error};
    after.url = check.url;
    after.remindType = remindTypeCode(remindText);
    if (!before) {
        web.add(after);
        return;
    }
    const ModifyPlan plan = planModify(*before, after);
    if (!plan.addNew)
        return; // nothing changed
    web.add(after);
    if (!plan.deleteOld)
        return;
    try {
        web.remove(before->url);
    } catch (Failure &failure) {
        failure.message = QStringLiteral("%1 is watched; %2 is still watched too: %3")
                              .arg(after.url, before->url, failure.message);
        throw;
    }
}

void add(const Invocation &invocation)
{
    const WebClient web = webFor(invocation, credentialsFor(invocation));
    // The address dialog's presets for a new address.
    DomainRecord record;
    record.url = invocation.arguments.at(0);
    record.remark = invocation.value(QStringLiteral("remark"), QStringLiteral("描述"));
    record.publishing = invocation.value(QStringLiteral("sites"), QStringLiteral("1"));
    record.jinminhou = invocation.has(QStringLiteral("all-days")) ? 0 : 1;
    sendEdit(web, nullptr, record,
             remindTextOf(invocation.value(QStringLiteral("remind"), QStringLiteral("both"))));
}

void modify(const Invocation &invocation)
{
    if (invocation.has(QStringLiteral("all-days")) && invocation.has(QStringLiteral("near-days")))
        throw Failure{UsageError, QStringLiteral("--all-days and --near-days exclude each other")};
    const WebClient web = webFor(invocation, credentialsFor(invocation));
    const std::map<QString, DomainRecord> domains = loggedInDomains(web);
    const auto found = domains.find(invocation.arguments.at(0));
    if (found == domains.end())
        throw Failure{Refused, QStringLiteral("该网址不在监控列表中。")};
    const DomainRecord &before = found->second;
    DomainRecord after = before;
    after.url = invocation.value(QStringLiteral("url"), before.url);
    after.remark = invocation.value(QStringLiteral("remark"), before.remark);
    after.publishing = invocation.value(QStringLiteral("sites"), before.publishing);
    if (invocation.has(QStringLiteral("all-days")))
        after.jinminhou = 0;
    if (invocation.has(QStringLiteral("near-days")))
        after.jinminhou = 1;
    const QString remindText = invocation.has(QStringLiteral("remind"))
                                   ? remindTextOf(invocation.value(QStringLiteral("remind")))
                                   : remindTypeText(before.remindType);
    sendEdit(web, &before, after, remindText);
}

void remove(const Invocation &invocation)
{
    webFor(invocation, credentialsFor(invocation)).remove(invocation.arguments.at(0));
}

// --- the data server -------------------------------------------------------

void sites(const Invocation &invocation)
{
    const std::unique_ptr<DataLink> link = connectData(invocation, credentialsFor(invocation));
    MsgGetAdvertisingWebInfoReq request;
    link->send(request);
    const auto catalogue = awaitMessage<MsgGetAdvertisingWebInfoNtf>(*link, kAnswerWait, [&] {
        MsgGetAdvertisingWebInfoReq again;
        link->send(again);
    });
    if (!catalogue)
        throw noAnswer(invocation);
    auto out = RowWriter::create(invocation.format, stdout,
                                 {{QStringLiteral("site"), QStringLiteral("发布站")},
                                  {QStringLiteral("domain"), QStringLiteral("域名")},
                                  {QStringLiteral("collected"), QStringLiteral("采集时间")},
                                  {QStringLiteral("ads"), QStringLiteral("广告数")},
                                  {QStringLiteral("urls"), QStringLiteral("网址")}});
    for (const Proto::AdvertisingWebInfo &info : catalogue->body.weblist()) {
        const AdvertisingWebData site = AdvertisingWebData::fromProto(info);
        out->row(
            {site.strWebMain, site.strDomain, site.strUpdateTime, qint64(info.iadcount()), site.strWebUrls});
    }
    out->finish();
}

// The progress line of a long search, on a terminal only. It is taken away
// before anything else is written, so that no row starts on its line.
class Progress {
public:
    Progress() : shown(::isatty(STDERR_FILENO) == 1) {}
    ~Progress() { clear(); }
    void update(qsizetype rows, qint32 total)
    {
        if (!shown)
            return;
        onScreen = true;
        std::fprintf(stderr, "\r%s", SearchKeys::requestedStatus(rows, total).toUtf8().constData());
        std::fflush(stderr);
    }
    void clear()
    {
        if (!onScreen)
            return;
        onScreen = false;
        std::fputs("\r\x1b[K", stderr); // to the line's start, erased to its end
        std::fflush(stderr);
    }

private:
    bool shown;
    bool onScreen = false;
};

// What one kind of search sends and how its answer becomes rows.
struct SearchKind {
    int firstIndex;
    bool honoursSearchType;
    std::vector<Column> columns;
    std::function<void(DataLink &, const QString &key, int index)> send;
    int answerType;
    // Writes the answer's rows (at most `room`); returns (rows written, total, search type).
    std::function<std::tuple<qsizetype, qint32, qint32>(MsgHeader &, RowWriter &, qsizetype room)> write;
};

qint64 parseLimit(const Invocation &invocation)
{
    if (!invocation.has(QStringLiteral("limit")))
        return -1;
    bool ok = false;
    const qint64 limit = invocation.value(QStringLiteral("limit")).toLongLong(&ok);
    if (!ok || limit < 0)
        throw Failure{UsageError, QStringLiteral("--limit takes a number of rows")};
    return limit;
}

void runSearch(const Invocation &invocation, const SearchKind &kind, const QString &key)
{
    const qint64 limit = parseLimit(invocation);
    const std::unique_ptr<DataLink> link = connectData(invocation, credentialsFor(invocation));
    auto out = RowWriter::create(invocation.format, stdout, kind.columns);
    SearchPager pager(kind.firstIndex, kind.honoursSearchType);
    std::optional<int> index = pager.start(key, 0, link->connections());
    qsizetype written = 0;
    Progress progress;
    while (index && (limit < 0 || written < limit)) {
        kind.send(*link, pager.currentKey(), *index);
        std::unique_ptr<MsgHeader> answer;
        const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
        while (!answer && std::chrono::steady_clock::now() < deadline) {
            answer = link->next(kAnswerWait);
            if (!answer)
                break;
            if (auto *ack = dynamic_cast<MsgUserLoginAck *>(answer.get())) {
                if (ack->body.code() != 0)
                    throw Failure{Refused, QString::fromStdString(ack->body.info())};
                kind.send(*link, pager.currentKey(), *index); // lost with the old connection
            }
            if (answer->type != kind.answerType)
                answer.reset();
        }
        if (!answer)
            throw noAnswer(invocation);
        const qsizetype room = limit < 0 ? std::numeric_limits<qsizetype>::max() : qsizetype(limit - written);
        progress.clear();
        const auto [rows, total, searchType] = kind.write(*answer, *out, room);
        written += rows;
        pager.answered(total, searchType);
        out->flush();
        progress.update(written, total);
        // A page without rows ends it too: a count the rows never reach must not page forever.
        index = rows == 0 ? std::nullopt : pager.more(written);
    }
    progress.clear();
    out->finish();
}

void searchAds(const Invocation &invocation)
{
    QString date = invocation.value(QStringLiteral("date"));
    static const QRegularExpression dayPattern(QStringLiteral("^\\d\\d/\\d\\d$"));
    if (!date.isEmpty() && !dayPattern.match(date).hasMatch())
        throw Failure{UsageError, QStringLiteral("--date is MM/DD, not %1").arg(date)};
    const QString time = invocation.value(QStringLiteral("time"));
    if (!time.isEmpty() &&
        (!SearchKeys::timeChoices().contains(time) || time.contains(QStringLiteral("不选择"))))
        throw Failure{UsageError,
                      QStringLiteral("--time is HH:MM (07:00 to 23:30 by half hours), 全天固顶, 通宵 or "
                                     "通宵固顶, not %1")
                          .arg(time)};
    const QString key =
        SearchKeys::adSearchKey(SearchKeys::trimSlashes(invocation.arguments.at(0)), date, time);
    if (key.isEmpty())
        throw Failure{UsageError, QStringLiteral("the search key is empty")};
    const std::string sites = invocation.value(QStringLiteral("sites"), QStringLiteral("1")).toStdString();
    SearchKind kind;
    kind.firstIndex = 1;
    kind.honoursSearchType = true;
    kind.columns = {{QStringLiteral("site"), QStringLiteral("发布站")},
                    {QStringLiteral("game"), QStringLiteral("游戏网址")},
                    {QStringLiteral("name"), QStringLiteral("游戏名称")},
                    {QStringLiteral("ip"), QStringLiteral("IP")},
                    {QStringLiteral("open"), QStringLiteral("开放时间")},
                    {QStringLiteral("other"), QStringLiteral("其它信息")}};
    kind.answerType = kMsgUserSearchAdsAck;
    kind.send = [sites](DataLink &link, const QString &key, int index) {
        MsgUserSearchAdsReq request;
        request.body.set_key(key.toStdString());
        request.body.set_index(index);
        request.body.set_adweb(sites);
        link.send(request);
    };
    const bool clip = invocation.format == Format::Table;
    kind.write = [clip](MsgHeader &msg, RowWriter &out, qsizetype room) {
        const auto &body = static_cast<MsgUserSearchAdsAck &>(msg).body;
        qsizetype rows = 0;
        for (const Proto::OneAdInfo &info : body.adslist()) {
            if (rows == room)
                break;
            OneAdData ad = OneAdData::fromProto(info);
            if (clip) // as the search window shows them
                for (QString *text : {&ad.strGameWeb, &ad.strAdvertisingWeb, &ad.strAdName, &ad.strIp,
                                      &ad.strOpenTime, &ad.strOtherInfo})
                    *text = SearchKeys::clipCellText(*text);
            out.row({ad.strAdvertisingWeb, ad.strGameWeb, ad.strAdName, ad.strIp, ad.strOpenTime,
                     ad.strOtherInfo});
            ++rows;
        }
        return std::tuple{rows, body.count(), body.seachtype()};
    };
    runSearch(invocation, kind, key);
}

template <class Request, class Answer, class Record, class Records>
SearchKind keySearch(std::vector<Column> columns,
                     const std::vector<typename CtrlData<Record>::Column> &fields,
                     const Records &(*records)(const Answer &))
{
    SearchKind kind;
    kind.firstIndex = 0;
    kind.honoursSearchType = false;
    kind.columns = std::move(columns);
    kind.answerType = Answer::kType;
    kind.send = [](DataLink &link, const QString &key, int index) {
        Request request;
        request.body.set_key(key.toStdString());
        request.body.set_index(index);
        link.send(request);
    };
    kind.write = [fields, records](MsgHeader &msg, RowWriter &out, qsizetype room) {
        const Answer &answer = static_cast<Answer &>(msg);
        qsizetype rows = 0;
        for (const auto &info : records(answer)) {
            if (rows == room)
                break;
            const Record record = Record::fromProto(info);
            Row line;
            for (const auto &field : fields)
                line.emplace_back(record.*field);
            out.row(line);
            ++rows;
        }
        return std::tuple{rows, answer.body.count(), qint32(0)};
    };
    return kind;
}

void redirects(const Invocation &invocation)
{
    const SearchKind kind = keySearch<MsgUserSearchForwardReq, MsgUserSearchForwardAck, ForwardData>(
        {{QStringLiteral("from"), QStringLiteral("跳转前网址")},
         {QStringLiteral("from_domain"), QStringLiteral("跳转前域名")},
         {QStringLiteral("to"), QStringLiteral("跳转后网址")},
         {QStringLiteral("to_domain"), QStringLiteral("跳转后域名")},
         {QStringLiteral("updated"), QStringLiteral("更新时间")}},
        ForwardDataColumns,
        +[](const MsgUserSearchForwardAck &a) -> const auto & { return a.body.forwardlist(); });
    runSearch(invocation, kind, SearchKeys::trimSlashes(invocation.arguments.at(0)));
}

void history(const Invocation &invocation)
{
    const SearchKind kind = keySearch<MsgUserSearchHisReq, MsgUserSearchHisAck, HisAdData>(
        {{QStringLiteral("game"), QStringLiteral("游戏网址")},
         {QStringLiteral("game_domain"), QStringLiteral("游戏网址域名")},
         {QStringLiteral("site"), QStringLiteral("发布站")},
         {QStringLiteral("open"), QStringLiteral("广告时间")},
         {QStringLiteral("ads"), QStringLiteral("广告条数")}},
        HisAdDataColumns, +[](const MsgUserSearchHisAck &a) -> const auto & { return a.body.adslist(); });
    runSearch(invocation, kind, SearchKeys::trimSlashes(invocation.arguments.at(0)));
}

// --- watch -----------------------------------------------------------------

// Unblocks in the child what the program blocks for its signal thread.
void unblockSignals()
{
    const sigset_t taken = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);
}

void runHook(const QString &command, const QStringList &environment)
{
    std::fflush(stdout);
    QProcess hook;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : environment)
        variables.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    hook.setProcessEnvironment(variables);
    hook.setProcessChannelMode(QProcess::ForwardedChannels);
    hook.setChildProcessModifier(unblockSignals);
    hook.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!hook.waitForFinished(-1) || hook.exitStatus() != QProcess::NormalExit || hook.exitCode() != 0)
        std::fprintf(stderr, "%s\n", QStringLiteral("--exec: %1 failed").arg(command).toUtf8().constData());
}

void watch(const Invocation &invocation)
{
    const Credentials credentials = credentialsFor(invocation);
    const WebClient web = webFor(invocation, credentials);
    const std::unique_ptr<DataLink> link = connectData(invocation, credentials);
    struct Registration {
        explicit Registration(DataLink *link) { watchLink = link; }
        ~Registration() { watchLink = nullptr; }
    } registration(link.get());

    // Said once the login went through: from here on no change is missed.
    std::fprintf(stderr, "%s\n",
                 QStringLiteral("kestrel-cli: watching the addresses of %1")
                     .arg(credentials.user)
                     .toUtf8()
                     .constData());
    std::map<QString, DomainRecord> domains;
    // The remarks; the previous ones stay (with a line saying so) while the web service fails.
    const auto readRemarks = [&] {
        try {
            domains = web.domains();
        } catch (const Failure &failure) {
            std::fprintf(stderr, "%s\n",
                         QStringLiteral("kestrel-cli: remarks not read: %1")
                             .arg(failure.message)
                             .toUtf8()
                             .constData());
        }
    };
    readRemarks();
    const std::vector<Column> columns = {{QStringLiteral("time"), QStringLiteral("时间")},
                                         {QStringLiteral("url"), QStringLiteral("网址")},
                                         {QStringLiteral("ads"), QStringLiteral("广告数")},
                                         {QStringLiteral("remark"), QStringLiteral("备注")}};
    // JSON lines: one document per change, so a reader acts on each at once.
    const std::unique_ptr<RowWriter> out =
        invocation.format == Format::Json ? nullptr : RowWriter::create(invocation.format, stdout, columns);
    const QString exec = invocation.value(QStringLiteral("exec"));

    // The ads last listed, taken in and compared as the main window does.
    AccountData held;
    bool listed = false; // a list came since the first login
    auto nextBeat = std::chrono::steady_clock::now() + kHeartbeatEvery;
    while (!link->interrupted()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            nextBeat - std::chrono::steady_clock::now());
        const std::unique_ptr<MsgHeader> msg = link->next(std::max(wait, std::chrono::milliseconds(0)));
        if (!msg) {
            if (std::chrono::steady_clock::now() >= nextBeat) {
                MsgAllHeartBeatNtf beat;
                link->send(beat);
                nextBeat = std::chrono::steady_clock::now() + kHeartbeatEvery;
            }
            continue;
        }
        if (auto *ack = dynamic_cast<MsgUserLoginAck *>(msg.get())) {
            if (ack->body.code() != 0)
                throw Failure{Refused, QString::fromStdString(ack->body.info())};
            continue;
        }
        const auto *change = dynamic_cast<MsgUserAdsChangeNtf *>(msg.get());
        if (!change)
            continue;
        // Without named addresses it is the complete list a login brings: the
        // first login's is no change; after a reconnection, what differs from
        // the ads held changed while the connection was down.
        const MainWindowLogic::CompleteList complete =
            listed ? MainWindowLogic::CompleteList::Compared : MainWindowLogic::CompleteList::First;
        listed = true;
        held.domains = domains;
        const QStringList changed = MainWindowLogic::applyAdsChange(
            held, change->body, qint32(QDateTime::currentSecsSinceEpoch()), complete);
        if (changed.isEmpty())
            continue;
        // A change may come from an edit of the list itself: its remarks are read anew.
        readRemarks();
        const QString time = formatLocalTime(qint32(QDateTime::currentSecsSinceEpoch()));
        for (const QString &url : changed) {
            const qint64 ads = MainWindowLogic::adCountOf(held, url);
            const auto record = domains.find(url);
            const QString remark = record == domains.end() ? QString() : record->second.remark;
            const Row row{time, url, ads, remark};
            if (out) {
                out->row(row);
                out->flush();
            } else {
                const QByteArray line = jsonObject(columns, row) + '\n';
                std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
                std::fflush(stdout);
            }
            if (!exec.isEmpty())
                runHook(exec,
                        {QStringLiteral("KESTREL_URL=") + url, QStringLiteral("KESTREL_ADS=%1").arg(ads),
                         QStringLiteral("KESTREL_TIME=") + time, QStringLiteral("KESTREL_REMARK=") + remark});
        }
    }
    if (out)
        out->finish();
}

} // namespace

sigset_t stopSignals()
{
    sigset_t taken;
    sigemptyset(&taken);
    sigaddset(&taken, SIGINT);
    sigaddset(&taken, SIGTERM);
    return taken;
}

DataLink *activeWatch()
{
    return watchLink.load();
}

void runCommand(const Invocation &invocation)
{
    static const std::map<QString, void (*)(const Invocation &)> table = {
        {QStringLiteral("login"), login},      {QStringLiteral("logout"), logout},
        {QStringLiteral("list"), list},        {QStringLiteral("add"), add},
        {QStringLiteral("modify"), modify},    {QStringLiteral("remove"), remove},
        {QStringLiteral("search"), searchAds}, {QStringLiteral("redirects"), redirects},
        {QStringLiteral("history"), history},  {QStringLiteral("watch"), watch},
        {QStringLiteral("sites"), sites},
    };
    table.at(invocation.command)(invocation);
}

} // namespace cli
