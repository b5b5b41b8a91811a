#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "account/AccountState.h"
#include "cli/TextWidth.h"
#include "net/MsgHeader.h"
#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/demo/DemoData.h"
#include "tests/support/CannedHttpServer.h"
#include "tests/support/DomainCheckCases.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TcpRelay.h"
#include "webproto/WebProtocol.h"

using namespace ServiceTest;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// A pseudo-terminal for a child: it becomes the child's controlling terminal
// (what /dev/tty opens), and the standard streams named get it too. What the
// child writes to it is read from the master side.
class Terminal {
public:
    Terminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slaveName = ::ptsname(master);
        if (master >= 0)
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Terminal()
    {
        if (master >= 0)
            ::close(master);
    }
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    bool isValid() const { return !slaveName.empty(); }

    // For QProcess::setChildProcessModifier: a session of its own with this
    // terminal; stdout and stderr on it when asked.
    std::function<void()> attach(bool outputs) const
    {
        const std::string name = slaveName;
        return [name, outputs] {
            ::setsid();
            const int fd = ::open(name.c_str(), O_RDWR);
            if (fd < 0)
                ::_exit(125);
            ::ioctl(fd, TIOCSCTTY, 0);
            if (outputs) {
                ::dup2(fd, STDOUT_FILENO);
                ::dup2(fd, STDERR_FILENO);
            }
            if (fd > STDERR_FILENO)
                ::close(fd);
        };
    }

    // Everything written to the terminal so far.
    QByteArray read()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got <= 0)
                break;
            written.append(buffer, got);
        }
        return written;
    }

private:
    int master = -1;
    std::string slaveName;
    QByteArray written;
};

// Waits for a program attached to the terminal to end, reading what it shows
// meanwhile (a full terminal would hold it up); kills it at the deadline.
bool endsOnTerminal(QProcess &process, Terminal &terminal)
{
    const bool ended = waitFor(
        [&] {
            terminal.read();
            return process.state() == QProcess::NotRunning;
        },
        20000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    return ended;
}

// The lines a terminal shows for what was written to it: a carriage return
// goes back to the line's start, ESC [ K erases to its end, other text
// overwrites.
QStringList screenLines(const QByteArray &written)
{
    QStringList lines{QString()};
    qsizetype column = 0;
    const QString text = QString::fromUtf8(written);
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString &line = lines.last();
        const QChar c = text[i];
        if (c == u'\r') {
            column = 0;
        } else if (c == u'\n') {
            lines.append(QString());
            column = 0;
        } else if (c == u'\x1b' && text.mid(i, 3) == QStringLiteral("\x1b[K")) {
            line.truncate(column);
            i += 2;
        } else {
            line = line.left(column).leftJustified(column, u' ') + c + line.mid(column + 1);
            ++column;
        }
    }
    return lines;
}

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

// Only the service's success ("0|...") is success. Any other answer is a
// refusal, with the service's text or the HTTP status it answered with; only
// no answer at all is "cannot be reached".
TEST_F(CliTest, WebAnswersOtherThanSuccessAreRefusals)
{
    const auto status = [](const QByteArray &line) {
        return CannedHttpServer::Reply{"HTTP/1.1 " + line +
                                       "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"};
    };
    const QString url = QStringLiteral("http://www.canned.example");
    const QStringList add{QStringLiteral("add"), url};
    const QStringList remove{QStringLiteral("remove"), url};
    struct Case {
        const char *name;
        QStringList arguments;
        CannedHttpServer::Reply reply;
        int status;
        QString message;
    };
    const std::vector<Case> cases = {
        {"AddSaved", add, CannedHttpServer::ok("0|saved"), 0, QString()},
        {"RemoveSaved", remove, CannedHttpServer::ok("0|saved"), 0, QString()},
        {"AddEmptyReply", add, CannedHttpServer::ok(""), 1, QStringLiteral("empty reply")},
        {"RemoveEmptyReply", remove, CannedHttpServer::ok(""), 1, QStringLiteral("empty reply")},
        {"AddUnreadableReply", add, CannedHttpServer::ok("<html>busy</html>"), 1,
         QStringLiteral("unreadable reply: \"<html>busy</html>\"")},
        {"RemoveRefusedWithoutText", remove, CannedHttpServer::ok("7|"), 1, QStringLiteral("(code 7)")},
        {"AddHeadersTooLarge", add, status("431 Request Header Fields Too Large"), 1,
         QStringLiteral("refused the request: HTTP 431 Request Header Fields Too Large")},
        {"RemoveUnavailable", remove, status("503 Service Unavailable"), 1,
         QStringLiteral("HTTP 503 Service Unavailable")},
        {"ListUnavailable",
         {QStringLiteral("list")},
         status("503 Service Unavailable"),
         1,
         QStringLiteral("HTTP 503 Service Unavailable")},
        {"LoginHeadersTooLarge",
         {QStringLiteral("login")},
         status("431 Request Header Fields Too Large"),
         1,
         QStringLiteral("HTTP 431 Request Header Fields Too Large")},
        {"LoginEmptyReply",
         {QStringLiteral("login")},
         CannedHttpServer::ok(""),
         1,
         QStringLiteral("unreadable reply")},
    };
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok(""); });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server.setHandler([reply = c.reply](const QByteArray &) { return reply; });
        const CliRun result = run(asDemo(QStringList(c.arguments)
                                         << QStringLiteral("--web-port") << QString::number(server.port())));
        EXPECT_EQ(result.status, c.status) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    }
}

// "--password-file -" is standard input, even with a terminal attached:
// the password piped in is taken, nothing waits for typing.
TEST_F(CliTest, PasswordFileDashReadsStandardInputWithATerminalAttached)
{
    Terminal terminal;
    ASSERT_TRUE(terminal.isValid());
    QProcess process;
    prepare(process, {QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral("--user"),
                      DemoData::kUser, QStringLiteral("--password-file"), QStringLiteral("-")});
    process.setChildProcessModifier(terminal.attach(false));
    process.start();
    ASSERT_TRUE(process.waitForStarted());
    process.write(DemoData::kPassword.toUtf8() + '\n');
    process.closeWriteChannel();
    const bool ended = endsOnTerminal(process, terminal);
    ASSERT_TRUE(ended) << "still waiting; the terminal shows: " << terminal.read().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(process.readAllStandardOutput()).isArray());
}

// On a terminal the search shows how far it got; no row may start on that
// line, and none is lost to it.
TEST_F(CliTest, ProgressLineOnATerminalIsGoneBeforeTheRowsThatFollow)
{
    const QString key = QStringLiteral("1.76");
    const int total = totalOf<MsgUserSearchAdsReq, MsgUserSearchAdsAck>(key, 1);
    ASSERT_GT(total, 40) << "three pages at least";
    Terminal terminal;
    ASSERT_TRUE(terminal.isValid());
    QProcess process;
    prepare(process, asDemo({QStringLiteral("search"), key, QStringLiteral("--csv")}));
    process.setChildProcessModifier(terminal.attach(true));
    process.start();
    const bool ended = endsOnTerminal(process, terminal);
    ASSERT_TRUE(ended);
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray written = terminal.read();
    const QString progress = QStringLiteral("已请求");
    ASSERT_TRUE(QString::fromUtf8(written).contains(progress)) << "a terminal gets the progress line";
    QStringList rows;
    for (const QString &line : screenLines(written)) {
        EXPECT_FALSE(line.contains(progress)) << "left on the screen or run into: " << line.toStdString();
        if (!line.trimmed().isEmpty())
            rows.append(line);
    }
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_TRUE(rows.first().startsWith(QStringLiteral("site,game,"))) << rows.first().toStdString();
    EXPECT_EQ(rows.size(), total + 1) << "the header and every row, each on a line of its own";
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
    // The shell creates the file before it writes the line: wait for the line.
    const auto hooked = [&] {
        QFile hook(hookFile);
        return hook.open(QIODevice::ReadOnly) ? QString::fromUtf8(hook.readAll()) : QString();
    };
    ASSERT_TRUE(waitFor([&] { return hooked().contains(u'\n'); }));
    EXPECT_EQ(hooked().trimmed(), url + u' ' + QString::number(line[QStringLiteral("ads")].toInteger()));

    // Only a signal ends it, and cleanly.
    ::kill(pid_t(watch.processId()), SIGTERM);
    ASSERT_TRUE(waitFor([&] { return watch.state() == QProcess::NotRunning; }));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

// After an outage the data server lists every ad again without naming a
// change. The addresses whose ads differ from those held before are
// announced, like any change; after an outage in which nothing changed,
// nothing is.
TEST_F(CliTest, WatchAnnouncesWhatChangedWhileTheConnectionWasDown)
{
    const qint64 account = service->accounts().account(DemoData::kUser)->id;
    const QList<MonitoredAddress> addresses = service->accounts().addresses(account);
    ASSERT_GE(addresses.size(), 2);
    // One new ad instead of the address's ads, on a site it shows.
    const auto replaceAds = [&](const MonitoredAddress &address, const QString &name) {
        const QList<AdRecord> shown = service->ads().adsForAddress(address, QDate::currentDate());
        ASSERT_FALSE(shown.isEmpty()) << address.url.toStdString();
        ASSERT_TRUE(service->ads().replaceAdsOf(
            address.url, {makeAd(address.url, shown.first().site, name, 1, QStringLiteral("20:00"))}));
        ASSERT_EQ(service->ads().adsForAddress(address, QDate::currentDate()).size(), 1);
        service->adsChanged({address.url});
    };

    TcpRelay relay(service->dataPort());
    const QString hookFile = config.filePath(QStringLiteral("hook.txt"));
    QProcess watch;
    prepare(watch, asDemo({QStringLiteral("watch"), QStringLiteral("--json"), QStringLiteral("--data-port"),
                           QString::number(relay.port()), QStringLiteral("--exec"),
                           QStringLiteral("printf '%s\\n' \"$KESTREL_URL\" >> ") + hookFile}));
    watch.start();
    QString err;
    QByteArray out;
    const auto read = [&] {
        err += QString::fromUtf8(watch.readAllStandardError());
        out += watch.readAllStandardOutput();
    };
    const auto urls = [&] {
        QStringList lines;
        for (const QByteArray &line : out.split('\n'))
            if (!line.isEmpty())
                lines.append(QJsonDocument::fromJson(line).object()[QStringLiteral("url")].toString());
        return lines;
    };
    ASSERT_TRUE(waitFor([&] {
        read();
        return err.contains(QStringLiteral("watching")) || watch.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(watch.state(), QProcess::Running) << err.toStdString();
    // A change told before the outage: the watch holds the list of its login
    // (which comes ahead of any notification), so the outage has a before.
    replaceAds(addresses[1], QStringLiteral("断线前开的新区"));
    ASSERT_TRUE(waitFor([&] {
        read();
        return out.contains('\n');
    })) << err.toStdString();

    // The first address's ads change while the connection is down.
    relay.cut();
    replaceAds(addresses[0], QStringLiteral("断线时开的新区"));
    waitFor([] { return false; }, 3000); // the outage itself, not a wait for a result
    ASSERT_TRUE(relay.restore());
    ASSERT_TRUE(waitFor(
        [&] {
            read();
            return out.count('\n') >= 2;
        },
        30000))
        << err.toStdString();
    EXPECT_EQ(urls().join(u' ').toStdString(), (addresses[1].url + u' ' + addresses[0].url).toStdString());
    const QJsonObject line = QJsonDocument::fromJson(out.split('\n').value(1)).object();
    EXPECT_EQ(line[QStringLiteral("ads")].toInteger(), 1);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(hookFile); }));

    // An outage in which nothing changes, then a change once it is over: the
    // change is the only line that follows.
    const auto logins = [&] { return log.matching(QStringLiteral("login demo accepted")).size(); };
    const qsizetype loginsBefore = logins();
    relay.cut();
    waitFor([] { return false; }, 3000);
    ASSERT_TRUE(relay.restore());
    ASSERT_TRUE(waitFor([&] { return logins() > loginsBefore; }, 30000)) << err.toStdString();
    replaceAds(addresses[1], QStringLiteral("恢复后开的新区"));
    ASSERT_TRUE(waitFor([&] {
        read();
        return out.count('\n') >= 3;
    })) << err.toStdString();
    EXPECT_EQ(urls().join(u' ').toStdString(),
              (addresses[1].url + u' ' + addresses[0].url + u' ' + addresses[1].url).toStdString())
        << err.toStdString();
    // A line that came before the change would have come before its line:
    // the list after a login is sent ahead of any later notification.
    const auto hooked = [&] {
        QFile hook(hookFile);
        return hook.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(hook.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    };
    ASSERT_TRUE(waitFor([&] { return hooked().size() >= 3; }));
    EXPECT_EQ(hooked().join(u' ').toStdString(),
              (addresses[1].url + u' ' + addresses[0].url + u' ' + addresses[1].url).toStdString());

    ::kill(pid_t(watch.processId()), SIGTERM);
    ASSERT_TRUE(waitFor([&] { return watch.state() == QProcess::NotRunning; }));
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
