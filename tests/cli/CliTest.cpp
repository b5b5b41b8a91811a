#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>

#include "account/AccountState.h"
#include "cli/TextWidth.h"
#include "net/MsgHeader.h"
#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/demo/DemoData.h"
#include "tests/support/DomainCheckCases.h"
#include "tests/support/ServiceTestSupport.h"
#include "webproto/WebProtocol.h"

using namespace ServiceTest;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// The demo account on a service of the test's own; the program runs as a
// child with its config folder in a temporary directory.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Some cases give a wrong password and the next ones log in right after
        // with the right one: no back-off between attempts here (the service's
        // own tests hold it to its delays). The lock after ten failures stays.
        service.options.limits.loginFirstDelayMs = 0;
        ASSERT_TRUE(service.start());
        ASSERT_TRUE(DemoData(7, QDate::currentDate()).fill(service->accounts(), service->ads()));
        ASSERT_TRUE(config.isValid());
        writeFile(QStringLiteral("good"), DemoData::kPassword);
        writeFile(QStringLiteral("bad"), QStringLiteral("not-the-password"));
    }

    void writeFile(const QString &name, const QString &text)
    {
        QFile file(config.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8() + '\n');
    }

    QStringList asDemo(QStringList arguments) const
    {
        return arguments << QStringLiteral("--user") << DemoData::kUser << QStringLiteral("--password-file")
                         << config.filePath(QStringLiteral("good"));
    }

    void prepare(QProcess &process, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("KESTREL_HOST"), QStringLiteral("127.0.0.1"));
        environment.insert(QStringLiteral("KESTREL_WEB_PORT"), QString::number(service->webPort()));
        environment.insert(QStringLiteral("KESTREL_DATA_PORT"), QString::number(service->dataPort()));
        process.setProcessEnvironment(environment);
        process.setProgram(QStringLiteral(KESTREL_CLI_EXE));
        process.setArguments(arguments);
    }

    // Runs the program to its end while this thread's event loop serves it.
    CliRun run(const QStringList &arguments, int timeoutMs = 20000)
    {
        QProcess process;
        prepare(process, arguments);
        process.start();
        CliRun result;
        const bool ended = waitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
        EXPECT_TRUE(ended) << arguments.join(u' ').toStdString();
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QJsonArray json(const QStringList &arguments)
    {
        const CliRun result = run(QStringList(arguments) << QStringLiteral("--json"));
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << result.out.toStdString();
        return document.array();
    }

    QStringList listedUrls()
    {
        QStringList urls;
        for (const QJsonValue &row : json(asDemo({QStringLiteral("list")})))
            urls.append(row[QStringLiteral("url")].toString());
        return urls;
    }

    // Total a search answer's first page names, asked through the client's own worker.
    template <class Request, class Answer> int totalOf(const QString &key, int index)
    {
        DataClient client(service->dataPort());
        EXPECT_TRUE(client.logIn(DemoData::kUser, DemoData::kPassword));
        Request request;
        request.body.set_key(key.toStdString());
        request.body.set_index(index);
        if constexpr (std::is_same_v<Request, MsgUserSearchAdsReq>)
            request.body.set_adweb("1");
        client.send(request);
        const std::unique_ptr<Answer> answer = client.next<Answer>();
        return answer ? answer->body.count() : -1;
    }

    static quint16 closedPort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        return server.serverPort(); // free again once the server is gone
    }

    LogCapture log;
    LocalService service;
    QTemporaryDir config;
};

TEST_F(CliTest, LoginKeepsTheCredentialsInAFileOnlyItsOwnerMayRead)
{
    const CliRun login = run({QStringLiteral("login"), QStringLiteral("--user"), DemoData::kUser,
                              QStringLiteral("--password-file"), config.filePath(QStringLiteral("good"))});
    ASSERT_EQ(login.status, 0) << login.err.toStdString();
    const QString kept = config.filePath(QStringLiteral("config/Kestrel/kestrel-cli/credentials"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains(DemoData::kPassword.toUtf8().left(3) + "\n")) << "kept encoded";

    const CliRun list = run({QStringLiteral("list")});
    EXPECT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.startsWith(QStringLiteral("监控的网址"))) << list.out.toStdString();

    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
    const CliRun exposed = run({QStringLiteral("list")});
    EXPECT_EQ(exposed.status, 1);
    EXPECT_TRUE(exposed.err.contains(QStringLiteral("may be read or changed by others")))
        << exposed.err.toStdString();
    EXPECT_TRUE(exposed.out.isEmpty());

    EXPECT_EQ(run({QStringLiteral("logout")}).status, 0);
    EXPECT_FALSE(QFile::exists(kept));
    const CliRun after = run({QStringLiteral("list")});
    EXPECT_EQ(after.status, 1);
    EXPECT_TRUE(after.err.contains(QStringLiteral("not logged in"))) << after.err.toStdString();
}

TEST_F(CliTest, ExitStatusesTellRefusalUsageAndUnreachableApart)
{
    const QString bad = config.filePath(QStringLiteral("bad"));
    // Both servers say so, the data server without the exclamation mark.
    const QString wrong = QStringLiteral("用户名或密码错误");
    struct Case {
        const char *name;
        QStringList arguments;
        int status;
        QString message;
    };
    const std::vector<Case> cases = {
        {"WrongPasswordAtLogin",
         {QStringLiteral("login"), QStringLiteral("--user"), DemoData::kUser,
          QStringLiteral("--password-file"), bad},
         1,
         wrong},
        {"WrongPasswordForList",
         {QStringLiteral("list"), QStringLiteral("--user"), DemoData::kUser,
          QStringLiteral("--password-file"), bad},
         1,
         wrong},
        {"WrongPasswordForSearch",
         {QStringLiteral("search"), QStringLiteral("1.76"), QStringLiteral("--user"), DemoData::kUser,
          QStringLiteral("--password-file"), bad},
         1,
         wrong},
        {"WebUnreachable",
         asDemo({QStringLiteral("list"), QStringLiteral("--web-port"), QString::number(closedPort())}), 3,
         QStringLiteral("cannot be reached")},
        {"DataUnreachable",
         asDemo({QStringLiteral("sites"), QStringLiteral("--data-port"), QString::number(closedPort())}), 3,
         QStringLiteral("cannot be reached")},
        {"UnknownCommand", {QStringLiteral("frobnicate")}, 2, QStringLiteral("unknown command")},
        {"NoCommand", {}, 2, QStringLiteral("no command")},
        {"MissingKey", asDemo({QStringLiteral("search")}), 2, QStringLiteral("usage")},
        {"UnknownOption", asDemo({QStringLiteral("list"), QStringLiteral("--frob")}), 2,
         QStringLiteral("frob")},
        {"BadTime",
         asDemo({QStringLiteral("search"), QStringLiteral("x"), QStringLiteral("--time"),
                 QStringLiteral("07:15")}),
         2, QStringLiteral("--time")},
        {"BadPort", asDemo({QStringLiteral("sites"), QStringLiteral("--data-port"), QStringLiteral("0")}), 2,
         QStringLiteral("not a port")},
        {"JsonAndCsv", asDemo({QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral("--csv")}), 2,
         QStringLiteral("exclude")},
        {"UnknownReminder",
         asDemo({QStringLiteral("add"), QStringLiteral("http://a.com"), QStringLiteral("--remind"),
                 QStringLiteral("loud")}),
         2, QStringLiteral("--remind")},
        {"RemoveUnknown", asDemo({QStringLiteral("remove"), QStringLiteral("http://never.example")}), 1,
         QStringLiteral("该网址不在监控列表中。")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    }
}

TEST_F(CliTest, ListShowsTheAddressesWithTheirAdCountsAsTableAndJson)
{
    const QList<MonitoredAddress> stored =
        service->accounts().addresses(service->accounts().account(DemoData::kUser)->id);
    ASSERT_FALSE(stored.isEmpty());
    const QJsonArray rows = json(asDemo({QStringLiteral("list")}));
    ASSERT_EQ(rows.size(), stored.size());
    qint64 ads = 0;
    for (const QJsonValue &row : rows) {
        const auto found = std::find_if(stored.begin(), stored.end(), [&](const MonitoredAddress &a) {
            return a.url == row[QStringLiteral("url")].toString();
        });
        ASSERT_NE(found, stored.end()) << row[QStringLiteral("url")].toString().toStdString();
        EXPECT_EQ(row[QStringLiteral("remark")].toString(), found->remark);
        EXPECT_EQ(row[QStringLiteral("remind")].toString(), remindTypeText(found->remindType));
        EXPECT_EQ(row[QStringLiteral("sites")].toString(), found->publishing);
        EXPECT_TRUE(row[QStringLiteral("ads")].isDouble());
        ads += row[QStringLiteral("ads")].toInteger();
    }
    EXPECT_GT(ads, 0) << "the demo's addresses have ads";

    // Table: every column starts at the same terminal column on every line,
    // Chinese text counting two.
    const CliRun table = run(asDemo({QStringLiteral("list")}));
    ASSERT_EQ(table.status, 0);
    const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), stored.size() + 1);
    const auto remarkColumn = [](const QString &line) {
        const qsizetype gap = line.indexOf(QStringLiteral("  "));
        qsizetype start = gap;
        while (start < line.size() && line.at(start) == u' ')
            ++start;
        return cli::displayWidth(line.left(start));
    };
    for (const QString &line : lines)
        EXPECT_EQ(remarkColumn(line), remarkColumn(lines.first())) << line.toStdString();
}

TEST_F(CliTest, SearchesPageToTheEndOrTheLimitInEveryFormat)
{
    const QString key = QStringLiteral("1.76");
    const int total = totalOf<MsgUserSearchAdsReq, MsgUserSearchAdsAck>(key, 1);
    ASSERT_GT(total, 20) << "more than one page";
    const QJsonArray ads = json(asDemo({QStringLiteral("search"), key}));
    EXPECT_EQ(ads.size(), total);
    for (const QJsonValue &row : ads)
        EXPECT_TRUE(row[QStringLiteral("name")].toString().contains(key) ||
                    row[QStringLiteral("game")].toString().contains(key))
            << QJsonDocument(row.toObject()).toJson().toStdString();

    EXPECT_EQ(
        json(asDemo({QStringLiteral("search"), key, QStringLiteral("--limit"), QStringLiteral("25")})).size(),
        25);

    const CliRun table =
        run(asDemo({QStringLiteral("search"), key, QStringLiteral("--limit"), QStringLiteral("3")}));
    ASSERT_EQ(table.status, 0) << table.err.toStdString();
    const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("发布站"))) << lines[0].toStdString();
    EXPECT_TRUE(table.err.isEmpty()) << "no progress line without a terminal: " << table.err.toStdString();

    const QString term = QStringLiteral("http");
    const int redirects = totalOf<MsgUserSearchForwardReq, MsgUserSearchForwardAck>(term, 0);
    const int history = totalOf<MsgUserSearchHisReq, MsgUserSearchHisAck>(term, 0);
    ASSERT_GT(redirects, 0);
    ASSERT_GT(history, 0);
    EXPECT_EQ(json(asDemo({QStringLiteral("redirects"), term})).size(), redirects);
    EXPECT_EQ(json(asDemo({QStringLiteral("history"), term})).size(), history);

    const CliRun csv = run(asDemo({QStringLiteral("redirects"), term, QStringLiteral("--csv"),
                                   QStringLiteral("--limit"), QStringLiteral("2")}));
    ASSERT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("from,from_domain,to,to_domain,updated")} +
               csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1, 2)));
    EXPECT_EQ(csv.out.count(QStringLiteral("\r\n")), 3);
}

TEST_F(CliTest, SitesListsTheCatalogue)
{
    const QList<SiteRecord> catalogue = service->ads().catalogue();
    const QJsonArray rows = json(asDemo({QStringLiteral("sites")}));
    ASSERT_EQ(rows.size(), catalogue.size());
    for (int i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][QStringLiteral("site")].toString(), catalogue[i].name);
        EXPECT_EQ(rows[i][QStringLiteral("ads")].toInteger(), catalogue[i].adCount);
    }
}

TEST_F(CliTest, AddModifyRemoveChangeTheServicesList)
{
    const QString url = QStringLiteral("http://www.cli-added.example");
    ASSERT_EQ(run(asDemo({QStringLiteral("add"), url + QStringLiteral("/"), QStringLiteral("--remark"),
                          QStringLiteral("新服"), QStringLiteral("--remind"), QStringLiteral("qq")}))
                  .status,
              0);
    QJsonArray rows = json(asDemo({QStringLiteral("list")}));
    const auto rowOf = [&](const QString &address) {
        for (const QJsonValue &row : rows)
            if (row[QStringLiteral("url")].toString() == address)
                return row.toObject();
        return QJsonObject();
    };
    EXPECT_EQ(rowOf(url)[QStringLiteral("remark")].toString(), QStringLiteral("新服"));
    EXPECT_EQ(rowOf(url)[QStringLiteral("remind")].toString(), QStringLiteral("QQ提醒"));
    EXPECT_EQ(rowOf(url)[QStringLiteral("near_days")].toString(), QStringLiteral("是"));

    const QString moved = QStringLiteral("https://www.cli-moved.example");
    const CliRun modify = run(asDemo(
        {QStringLiteral("modify"), url, QStringLiteral("--url"), moved, QStringLiteral("--all-days")}));
    ASSERT_EQ(modify.status, 0) << modify.err.toStdString();
    rows = json(asDemo({QStringLiteral("list")}));
    EXPECT_TRUE(rowOf(url).isEmpty()) << "the old address went once the new one was taken";
    EXPECT_EQ(rowOf(moved)[QStringLiteral("remark")].toString(), QStringLiteral("新服")) << "kept";
    EXPECT_EQ(rowOf(moved)[QStringLiteral("near_days")].toString(), QStringLiteral("否"));

    const CliRun refused =
        run(asDemo({QStringLiteral("modify"), moved, QStringLiteral("--url"), QStringLiteral("ftp://x")}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(kDomainMalformed)) << refused.err.toStdString();

    ASSERT_EQ(run(asDemo({QStringLiteral("remove"), moved})).status, 0);
    EXPECT_FALSE(listedUrls().contains(moved));
}

// One table with the address dialog's test (tests/account/dialogs).
class CliDomainCheck : public CliTest, public ::testing::WithParamInterface<DomainCheckCase> {};

TEST_P(CliDomainCheck, AddMakesTheDialogsChecks)
{
    const DomainCheckCase &c = GetParam();
    static const QStringList words = {QStringLiteral("local"), QStringLiteral("qq"), QStringLiteral("both"),
                                      QStringLiteral("none")};
    QStringList arguments = {QStringLiteral("add"), c.typed, QStringLiteral("--remind"),
                             c.reminder < 0 ? QString() : words[c.reminder]};
    if (!c.remark.isEmpty())
        arguments << QStringLiteral("--remark") << c.remark;
    const CliRun result = run(asDemo(arguments));
    if (!c.message.isEmpty()) {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err.trimmed(), QStringLiteral("kestrel-cli: ") + c.message);
        return;
    }
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(listedUrls().contains(c.stored));
}

INSTANTIATE_TEST_SUITE_P(Addresses, CliDomainCheck, ::testing::ValuesIn(domainCheckCases()),
                         DomainCheckCaseName());

TEST_F(CliTest, WatchPrintsAChangeMadeThroughTheWebServiceAsItHappens)
{
    const QString hookFile = config.filePath(QStringLiteral("hook.txt"));
    QProcess watch;
    prepare(watch,
            asDemo({QStringLiteral("watch"), QStringLiteral("--json"), QStringLiteral("--exec"),
                    QStringLiteral("printf '%s %s\\n' \"$KESTREL_URL\" \"$KESTREL_ADS\" >> ") + hookFile}));
    watch.start();
    QString err;
    ASSERT_TRUE(waitFor([&] {
        err += QString::fromUtf8(watch.readAllStandardError());
        return err.contains(QStringLiteral("watching")) || watch.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(watch.state(), QProcess::Running) << err.toStdString();

    // Through the web service, as another client would: the demo's first game address.
    const QString url = DemoData(7, QDate::currentDate()).gameWebs().first();
    const QUrl request = service.webUrl(
        QString::fromLatin1(WebProtocol::Path::AddDomain) + u'?' +
        QString::fromLatin1(signedQuery(DemoData::kUser, DemoData::kPassword, QStringLiteral("2"),
                                        QDateTime::currentSecsSinceEpoch())) +
        QStringLiteral("&monitor_url=") + QString::fromLatin1(encodeValue(url)) +
        QStringLiteral("&monitor_type=1&monitor_remark=watched&monitor_publishing=1&jinminhou=0"));
    ASSERT_EQ(httpGet(request).status, 200);
    // Pushed by the data server as it happens: the watch itself sends nothing
    // but a heartbeat every 30 s. The deadline leaves room for a loaded machine.
    QByteArray out;
    ASSERT_TRUE(waitFor([&] {
        out += watch.readAllStandardOutput();
        return out.contains('\n');
    })) << "no line; stderr: "
        << QString::fromUtf8(watch.readAllStandardError()).toStdString();
    const QJsonObject line = QJsonDocument::fromJson(out.left(out.indexOf('\n'))).object();
    EXPECT_EQ(line[QStringLiteral("url")].toString(), url);
    EXPECT_EQ(line[QStringLiteral("remark")].toString(), QStringLiteral("watched"));
    EXPECT_GT(line[QStringLiteral("ads")].toInteger(), 0);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(hookFile); }));
    QFile hook(hookFile);
    ASSERT_TRUE(hook.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(hook.readAll()).trimmed(),
              url + u' ' + QString::number(line[QStringLiteral("ads")].toInteger()));

    // Only a signal ends it, and cleanly.
    ::kill(pid_t(watch.processId()), SIGTERM);
    ASSERT_TRUE(waitFor([&] { return watch.state() == QProcess::NotRunning; }));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

TEST(CliBinary, LinksNeitherQtGuiNorWidgets)
{
    QFile binary(QStringLiteral(KESTREL_CLI_EXE));
    ASSERT_TRUE(binary.open(QIODevice::ReadOnly));
    const QByteArray bytes = binary.readAll();
    // The dynamic section names each shared library it needs.
    EXPECT_TRUE(bytes.contains("libQt6Core.so")) << "the check reads the right names";
    EXPECT_FALSE(bytes.contains("libQt6Gui.so"));
    EXPECT_FALSE(bytes.contains("libQt6Widgets.so"));
}

} // namespace
