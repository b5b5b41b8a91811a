#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/support/CannedWebFixture.h"
#include "account/DomainService.h"
#include "account/FileStream.h"

namespace {

DomainRecord record(const QString &url, const QString &remindType, int adCount = 0, int updateTime = 0)
{
    DomainRecord r;
    r.url = url;
    r.remindType = remindType;
    r.adCount = adCount;
    r.updateTime = updateTime;
    return r;
}

// What a test cares about in one record: settings and counters.
struct Expected {
    QString url;
    QString remindType;
    QString remark;
    QString publishing;
    int jinminhou;
    int adCount;
    int updateTime;
};

std::vector<Expected> summary(const std::map<QString, DomainRecord> &domains)
{
    std::vector<Expected> out;
    for (const auto &[key, r] : domains) {
        EXPECT_EQ(key, r.url);
        out.push_back({r.url, r.remindType, r.remark, r.publishing, r.jinminhou, r.adCount, r.updateTime});
    }
    return out;
}

bool operator==(const Expected &a, const Expected &b)
{
    return std::tie(a.url, a.remindType, a.remark, a.publishing, a.jinminhou, a.adCount, a.updateTime) ==
           std::tie(b.url, b.remindType, b.remark, b.publishing, b.jinminhou, b.adCount, b.updateTime);
}

void PrintTo(const Expected &e, std::ostream *os)
{
    *os << qPrintable(QStringLiteral("{%1 %2 '%3' '%4' %5 %6 %7}")
                          .arg(e.url, e.remindType, e.remark, e.publishing)
                          .arg(e.jinminhou)
                          .arg(e.adCount)
                          .arg(e.updateTime));
}

QStringList logLines(const QString &baseDir)
{
    FileStream file(QDir(baseDir).filePath("log/log_all.txt"), FileStream::modeRead);
    QStringList lines;
    QString line;
    while (file.isOpen() && file.ReadLine(line))
        lines.append(line);
    return lines;
}

// The line without its time stamp.
QString unstamped(const QString &line)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] "));
    const QRegularExpressionMatch match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QStringLiteral("<no stamp> ") + line;
}

} // namespace

// Every test logs into a temporary base directory with a log folder.
class DomainFixture : public CannedWebFixture {
protected:
    void SetUp() override
    {
        CannedWebFixture::SetUp();
        ASSERT_TRUE(base.isValid());
        ASSERT_TRUE(QDir(base.path()).mkdir("log"));
        savedBaseDir = state().baseDir;
        state().baseDir = base.path() + '/';
        state().userName = "alice";
        state().password = "secret";
    }
    void TearDown() override
    {
        state().baseDir = savedBaseDir;
        CannedWebFixture::TearDown();
    }
    void serve(const CannedHttpServer::Reply &reply)
    {
        server = std::make_unique<CannedHttpServer>([reply](const QByteArray &) { return reply; });
        useServer(*server);
    }

    QTemporaryDir base;
    QString savedBaseDir;
    std::unique_ptr<CannedHttpServer> server;
};

struct RefreshCase {
    const char *name;
    QByteArray reply;
    std::vector<Expected> domains;
};

class Refresh : public DomainFixture, public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(Refresh, ReplacesTheListKeepingCounters)
{
    state().domains["a.example"] = record("a.example", "4", 5, 99);
    state().domains["gone.example"] = record("gone.example", "1", 3, 42);
    serve(CannedHttpServer::ok(GetParam().reply));

    EXPECT_TRUE(RefreshDomains());
    EXPECT_EQ(summary(state().domains), GetParam().domains);
    ASSERT_EQ(server->targets().size(), 1);
    const QByteArray target = server->targets().front();
    EXPECT_TRUE(
        target.startsWith("/tongji/common_login_for_monitor/get_user_domain_info.asp?user=alice&pass=secret&"
                          "type=2&rand="));
    EXPECT_EQ(logLines(base.path()).size(), 1);
    EXPECT_EQ(unstamped(logLines(base.path()).value(0)), QString::fromLatin1(GetParam().reply));
}

INSTANTIATE_TEST_SUITE_P(
    Domains, Refresh,
    ::testing::Values(
        RefreshCase{"EmptyReplyEmpties", "", {}},
        RefreshCase{"ThreeFields", "9;b.example;1", {{"b.example", "1", "", "", 0, 0, 0}}},
        RefreshCase{
            "FourFieldsIgnoreTheRemark", "9;b.example;2;remark", {{"b.example", "2", "", "", 0, 0, 0}}},
        RefreshCase{"FiveFieldsHaveNoFlag",
                    "9;b.example;3;remark;s1~s2",
                    {{"b.example", "3", "remark", "s1~s2", 0, 0, 0}}},
        RefreshCase{"SixFields", "9;b.example;1;remark;1;1", {{"b.example", "1", "remark", "1", 1, 0, 0}}},
        RefreshCase{"EmptyFieldShiftsLeft", "9;b.example;1;;s1;1", {{"b.example", "1", "s1", "1", 0, 0, 0}}},
        RefreshCase{
            "ShortRecordsSkipped", "9;b.example|9;c.example;2||;;", {{"c.example", "2", "", "", 0, 0, 0}}},
        RefreshCase{"FirstOfTwinsWins",
                    "9;b.example;1;first|9;b.example;4;second;x",
                    {{"b.example", "1", "", "", 0, 0, 0}}},
        RefreshCase{"CountersSurvive",
                    "|9;gone.example;2|9;a.example;1;r;1;0|",
                    {{"a.example", "1", "r", "1", 0, 5, 99}, {"gone.example", "2", "", "", 0, 3, 42}}},
        // Ordinal key order: 'B' (0x42) before 'a' (0x61).
        RefreshCase{
            "OrdinalOrder",
            "9;xa;1|9;xB;1|9;xb;1",
            {{"xB", "1", "", "", 0, 0, 0}, {"xa", "1", "", "", 0, 0, 0}, {"xb", "1", "", "", 0, 0, 0}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DomainFixture, AddressMissingOnceStartsAgainAtZero)
{
    state().domains["a.example"] = record("a.example", "1", 5, 99);
    serve(CannedHttpServer::ok("9;b.example;1"));
    ASSERT_TRUE(RefreshDomains());
    server->setHandler(
        [](const QByteArray &) { return CannedHttpServer::ok("9;a.example;1|9;b.example;1"); });
    ASSERT_TRUE(RefreshDomains());
    EXPECT_EQ(summary(state().domains), (std::vector<Expected>{{"a.example", "1", "", "", 0, 0, 0},
                                                               {"b.example", "1", "", "", 0, 0, 0}}));
}

TEST_F(DomainFixture, FailedRequestKeepsTheListAndLogsEmptyText)
{
    state().domains["a.example"] = record("a.example", "3", 5, 99);
    serve(CannedHttpServer::withStatus(500, "9;b.example;1"));

    EXPECT_FALSE(RefreshDomains());
    EXPECT_EQ(summary(state().domains), (std::vector<Expected>{{"a.example", "3", "", "", 0, 5, 99}}));
    EXPECT_EQ(GetUserDomainInfo(), QString());
    const QStringList lines = logLines(base.path());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(unstamped(lines[0]), QString());
    EXPECT_EQ(unstamped(lines[1]), QString());
}

// A refusal in place of the list ("3|用户名或密码错误！") is no list: the one
// shown stays, as for a failed request, and so do its counters.
TEST_F(DomainFixture, RefusalKeepsTheListAndItsCounters)
{
    state().domains["a.example"] = record("a.example", "3", 5, 99);
    serve(CannedHttpServer::ok("3|\xD3\xC3\xBB\xA7\xC3\xFB\xBB\xF2\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3\xA3\xA1"));
    EXPECT_FALSE(RefreshDomains());
    EXPECT_EQ(summary(state().domains), (std::vector<Expected>{{"a.example", "3", "", "", 0, 5, 99}}));
    EXPECT_EQ(state().domainRefreshFailures, 1);

    server->setHandler([](const QByteArray &) { return CannedHttpServer::ok("9;b.example;1"); });
    EXPECT_TRUE(RefreshDomains());
    EXPECT_EQ(summary(state().domains), (std::vector<Expected>{{"b.example", "1", "", "", 0, 0, 0}}));
    EXPECT_EQ(state().domainRefreshFailures, 0);
}

TEST(DomainListReply, StatusRepliesAreToldFromLists)
{
    struct Case {
        const char *reply;
        std::optional<int> code; // nothing: a list
        const char *message;
    };
    const Case cases[] = {
        {"3|\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99", 3, "\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99"},
        {"9|busy|try later", 9, "busy|try later"},
        {"-1", -1, ""},
        {"0", 0, ""},
        {"", std::nullopt, ""},
        {"1;a.example;1", std::nullopt, ""},
        {"|1;a.example;1|2;b.example;3", std::nullopt, ""},
        {"garbage", std::nullopt, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply);
        const std::optional<ReplyText::Status> status = statusInsteadOfList(QString::fromUtf8(c.reply));
        ASSERT_EQ(status.has_value(), c.code.has_value());
        if (!status)
            continue;
        EXPECT_EQ(status->code, *c.code);
        EXPECT_EQ(status->message, QString::fromUtf8(c.message));
    }
}

TEST(DomainListReply, AFailingRunOfRefreshesIsNotedOnceAndItsEndOnce)
{
    int failures = 0;
    EXPECT_EQ(domainRefreshNote(failures, true, {}), QString()) << "nothing to end";
    const QString first = domainRefreshNote(failures, false, QStringLiteral("no answer"));
    EXPECT_TRUE(first.contains(QStringLiteral("no answer"))) << first.toStdString();
    EXPECT_EQ(domainRefreshNote(failures, false, QStringLiteral("no answer")), QString());
    EXPECT_EQ(domainRefreshNote(failures, false, QStringLiteral("refused")), QString());
    const QString end = domainRefreshNote(failures, true, {});
    EXPECT_TRUE(end.contains(QStringLiteral("3 failed tries"))) << end.toStdString();
    EXPECT_EQ(failures, 0);
}

// A long list is read whole: a cut one would lose addresses and store a cut
// remark with the next change.
TEST_F(DomainFixture, ListLongerThanAShortReplyIsReadWhole)
{
    QByteArray reply;
    for (int i = 0; i < 400; ++i)
        reply += "|" + QByteArray::number(i + 1) + ";http://www.game" + QByteArray::number(i) +
                 ".example;1;" + QByteArray(40, 'r') + ";1;1";
    ASSERT_GT(reply.size(), kMaxReplyBytes * 2);
    serve(CannedHttpServer::ok(reply));
    ASSERT_TRUE(RefreshDomains());
    ASSERT_EQ(state().domains.size(), 400u);
    EXPECT_EQ(state().domains.at("http://www.game399.example").remark, QString(40, u'r'));
}

TEST_F(DomainFixture, GetUserDomainInfoReturnsAndLogsTheReply)
{
    serve(CannedHttpServer::ok("9;\xC4\xE3\xBA\xC3.example;1"));
    const QString expected = QStringLiteral("9;\u4f60\u597d.example;1");
    EXPECT_EQ(GetUserDomainInfo(), expected);
    EXPECT_EQ(unstamped(logLines(base.path()).value(0)), expected);
    EXPECT_TRUE(state().domains.empty()); // only RefreshDomains stores
}

TEST_F(DomainFixture, AddDomainSendsEveryValueIntact)
{
    serve(CannedHttpServer::ok("0|added"));
    DomainRecord r = record("http://www.\u4f60\u597d.example/a?b=1&c=2#top", "3");
    r.remark = QStringLiteral("100% sure & =fine= #1 \u5907\u6ce8");
    r.publishing = QStringLiteral("site a~site+b");
    r.jinminhou = 1;
    EXPECT_TRUE(AddDomain(r));

    ASSERT_EQ(server->targets().size(), 1);
    const QByteArray target = server->targets().front();
    EXPECT_TRUE(
        target.startsWith("/tongji/common_login_for_monitor/add_domain.asp?user=alice&pass=secret&type=2&"));
    EXPECT_EQ(QueryParameter(target, "monitor_url"), r.url);
    EXPECT_EQ(QueryParameter(target, "monitor_type"), QStringLiteral("3"));
    EXPECT_EQ(QueryParameter(target, "monitor_remark"), r.remark);
    EXPECT_EQ(QueryParameter(target, "monitor_publishing"), r.publishing);
    EXPECT_EQ(QueryParameter(target, "jinminhou"), QStringLiteral("1"));
    EXPECT_EQ(unstamped(logLines(base.path()).value(0)), QStringLiteral("0|added"));
}

struct AddOutcome {
    const char *name;
    CannedHttpServer::Reply reply;
    bool stored;
};

class AddDomainOutcome : public DomainFixture, public ::testing::WithParamInterface<AddOutcome> {};

TEST_P(AddDomainOutcome, TrueOnlyForAReplyWithCodeZero)
{
    serve(GetParam().reply);
    EXPECT_EQ(AddDomain(record("http://a.example", "1")), GetParam().stored);
    EXPECT_EQ(server->targets().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, AddDomainOutcome,
    ::testing::Values(AddOutcome{"Saved", CannedHttpServer::ok("0|\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6"), true},
                      AddOutcome{"SavedWithBlanks", CannedHttpServer::ok("  0|ok"), true},
                      AddOutcome{"Refused", CannedHttpServer::ok("3|\xD3\xC3\xBB\xA7"), false},
                      AddOutcome{"NegativeCode", CannedHttpServer::ok("-1|x"), false},
                      // Nothing said is no success.
                      AddOutcome{"EmptyReply", CannedHttpServer::ok(""), false},
                      AddOutcome{"NoCode", CannedHttpServer::ok("ok"), false},
                      AddOutcome{"HttpError", CannedHttpServer::withStatus(500, "0|ok"), false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DomainFixture, DelDomainSendsTheAddress)
{
    serve(CannedHttpServer::ok("deleted"));
    DelDomain(QStringLiteral("a.example/x y&z"));
    ASSERT_EQ(server->targets().size(), 1);
    const QByteArray target = server->targets().front();
    EXPECT_TRUE(target.startsWith("/tongji/common_login_for_monitor/del_domain.asp?user=alice&"));
    EXPECT_EQ(QueryParameter(target, "monitor_url"), QStringLiteral("a.example/x y&z"));
    EXPECT_EQ(unstamped(logLines(base.path()).value(0)), QStringLiteral("deleted"));
}

TEST_F(DomainFixture, RequestsWorkWithoutLogFolder)
{
    ASSERT_TRUE(QDir(base.path()).rmdir("log"));
    serve(CannedHttpServer::ok("9;b.example;1"));
    EXPECT_TRUE(RefreshDomains());
    EXPECT_EQ(state().domains.size(), 1u);
    EXPECT_FALSE(QDir(base.path()).exists("log"));
}

TEST_F(CannedWebFixture, WantsLocalReminderOnlyForPopUpCodes)
{
    for (const char *code : {"1", "2", "3", "4", ""})
        state().domains[QStringLiteral("site%1").arg(code)] =
            record(QStringLiteral("site%1").arg(code), code);
    EXPECT_TRUE(WantsLocalReminder("site1"));
    EXPECT_FALSE(WantsLocalReminder("site2"));
    EXPECT_TRUE(WantsLocalReminder("site3"));
    EXPECT_FALSE(WantsLocalReminder("site4"));
    EXPECT_FALSE(WantsLocalReminder("site"));
    EXPECT_FALSE(WantsLocalReminder("SITE1"));
    EXPECT_FALSE(WantsLocalReminder("unknown"));
}
