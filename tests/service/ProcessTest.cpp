#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <optional>
#include <vector>

#include "tests/support/ServiceTestSupport.h"
#include "webproto/WebProtocol.h"
#include "webproto/WebText.h"

using namespace ServiceTest;

namespace {

// The built executable as a child process.
class ServiceProcess {
public:
    explicit ServiceProcess(QStringList arguments,
                            const QString &program = QStringLiteral(KESTREL_SERVICE_EXE))
    {
        process.setProgram(program);
        process.setArguments(arguments);
        process.start();
    }
    ~ServiceProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // Reads the "web-port N" and "data-port N" lines.
    bool readPorts()
    {
        return waitFor([&] {
                   out += process.readAllStandardOutput();
                   for (const QByteArray &line : out.split('\n')) {
                       if (line.startsWith("web-port "))
                           webPort = quint16(line.mid(9).toUInt());
                       if (line.startsWith("data-port "))
                           dataPort = quint16(line.mid(10).toUInt());
                   }
                   return (webPort && dataPort) || process.state() == QProcess::NotRunning;
               }) &&
               webPort && dataPort;
    }
    bool finished(int timeoutMs = 20000)
    {
        return waitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    }
    QString errors() { return QString::fromLocal8Bit(process.readAllStandardError()); }
    // Signals the service itself; false when it is not running (a pid of 0
    // would signal this whole process group).
    bool signal(int number)
    {
        const qint64 pid = process.processId();
        return process.state() == QProcess::Running && pid > 0 && ::kill(pid_t(pid), number) == 0;
    }

    QProcess process;
    QByteArray out;
    quint16 webPort = 0;
    quint16 dataPort = 0;
};

TEST(ServiceProcess, PrintsFreePortsServesAndStopsOnSigterm)
{
    QTemporaryDir dir;
    ServiceProcess service({QStringLiteral("--web-port"), QStringLiteral("0"), QStringLiteral("--data-port"),
                            QStringLiteral("0"), QStringLiteral("--db"),
                            dir.filePath(QStringLiteral("s.sqlite"))});
    ASSERT_TRUE(service.readPorts()) << service.errors().toStdString();
    EXPECT_NE(service.webPort, service.dataPort);
    const HttpResult banner =
        httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1/banner.html").arg(service.webPort)));
    EXPECT_EQ(banner.status, 200);
    {
        DataClient client(service.dataPort);
        EXPECT_NE(client.next<MsgConnected>(), nullptr);
    }
    ASSERT_TRUE(service.signal(SIGTERM));
    ASSERT_TRUE(service.finished());
    EXPECT_EQ(service.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.process.exitCode(), 0);
    const QString log = service.errors();
    EXPECT_TRUE(log.contains(QStringLiteral("GET /banner.html -> 200"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("connected")));
}

// Web requests of one account against a service process.
class WebUser {
public:
    explicit WebUser(quint16 port) : port(port) {}
    QString get(const char *path, const QByteArray &extra = {}) const
    {
        const QByteArray query = signedQuery(QStringLiteral("kate"), QStringLiteral("pw1"),
                                             QStringLiteral("2"), QDateTime::currentSecsSinceEpoch());
        return httpGet(url(path, query + extra)).text();
    }
    bool signUp() const
    {
        const QString query =
            WebProtocol::accountAddQuery(QStringLiteral("kate"), QStringLiteral("pw1"),
                                         QStringLiteral("12345"), QDateTime::currentSecsSinceEpoch());
        return httpGet(url(WebProtocol::Path::AccountAdd, query.toLatin1())).text() == QStringLiteral("0");
    }
    QString add(const QString &address, const QString &remark = QStringLiteral("r")) const
    {
        return get(WebProtocol::Path::AddDomain, "&monitor_url=" + encodeValue(address) +
                                                     "&monitor_type=1&monitor_remark=" + encodeValue(remark) +
                                                     "&monitor_publishing=1&jinminhou=0");
    }
    QStringList addresses() const
    {
        QStringList out;
        for (const QString &record :
             WebText::SplitText(get(WebProtocol::Path::GetUserDomainInfo), QLatin1Char('|')))
            out << WebText::SplitText(record, QLatin1Char(';')).value(1);
        return out;
    }
    QUrl url(const char *path, const QByteArray &query) const
    {
        return QUrl::fromEncoded(QStringLiteral("http://127.0.0.1:%1").arg(port).toLatin1() + path + '?' +
                                 query);
    }

    quint16 port;
};

QStringList serviceArguments(const QString &database)
{
    return {QStringLiteral("--web-port"),
            QStringLiteral("0"),
            QStringLiteral("--data-port"),
            QStringLiteral("0"),
            QStringLiteral("--password-iterations"),
            QStringLiteral("1000"),
            QStringLiteral("--db"),
            database};
}

TEST(ServiceProcess, EveryAcknowledgedWriteSurvivesSigkill)
{
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("s.sqlite"));
    QStringList acknowledged;
    for (int round = 0; round < 4; ++round) {
        ServiceProcess service(serviceArguments(database));
        ASSERT_TRUE(service.readPorts()) << service.errors().toStdString();
        const WebUser user(service.webPort);
        if (round == 0)
            ASSERT_TRUE(user.signUp());
        // What the last life acknowledged is all there.
        const QStringList held = user.addresses();
        for (const QString &address : acknowledged)
            EXPECT_TRUE(held.contains(address)) << "round " << round << ": " << address.toStdString();
        for (int i = 0; i < 10 + 3 * round; ++i) {
            const QString address = QStringLiteral("http://r%1-%2.example").arg(round).arg(i);
            if (user.add(address).startsWith(QStringLiteral("0|")))
                acknowledged << address;
        }
        // One more write on its way when the process dies.
        QTcpSocket inFlight;
        inFlight.connectToHost(QHostAddress::LocalHost, service.webPort);
        ASSERT_TRUE(waitFor([&] { return inFlight.state() == QAbstractSocket::ConnectedState; }));
        inFlight.write("GET " + user.url(WebProtocol::Path::AddDomain, {}).path().toLatin1() + "?" +
                       signedQuery(QStringLiteral("kate"), QStringLiteral("pw1"), QStringLiteral("2"),
                                   QDateTime::currentSecsSinceEpoch()) +
                       "&monitor_url=http://lost.example HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        inFlight.flush();
        ASSERT_TRUE(service.signal(SIGKILL));
        ASSERT_TRUE(service.finished());
    }
    ASSERT_GE(acknowledged.size(), 40);
    const QString name = QStringLiteral("integrity");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(database);
        ASSERT_TRUE(db.open());
        QSqlQuery check(db);
        ASSERT_TRUE(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
        EXPECT_EQ(check.value(0).toString(), QStringLiteral("ok"));
        QSqlQuery count(db);
        ASSERT_TRUE(count.exec(QStringLiteral("SELECT count(*) FROM domains WHERE url LIKE 'http://r%'")) &&
                    count.next());
        EXPECT_EQ(count.value(0).toInt(), acknowledged.size());
    }
    QSqlDatabase::removeDatabase(name);
}

// A disk that fills up: a small tmpfs in a mount namespace of the service's own.
TEST(ServiceProcess, FullDiskAnswersFailuresThatMatchWhatIsStored)
{
    QTemporaryDir dir;
    QStringList arguments = {
        QStringLiteral("-m"),
        QStringLiteral("sh"),
        QStringLiteral("-c"),
        QStringLiteral(
            "mount -t tmpfs -o size=192k kestrel-full \"$0\" && exe=\"$1\" && shift && exec \"$exe\" \"$@\""),
        dir.path(),
        QStringLiteral(KESTREL_SERVICE_EXE)};
    arguments += serviceArguments(dir.filePath(QStringLiteral("s.sqlite")));
    ServiceProcess service(arguments, QStringLiteral("unshare"));
    if (!service.readPorts())
        GTEST_SKIP() << "no tmpfs can be mounted here: " << service.errors().toStdString();
    const WebUser user(service.webPort);
    ASSERT_TRUE(user.signUp());
    ASSERT_TRUE(user.add(QStringLiteral("http://first.example")).startsWith(QStringLiteral("0|")));

    // The longest addresses and remarks taken, until the disk is full.
    const QString remark(WebProtocol::kMaxRemarkChars, QLatin1Char('x'));
    QString refused;
    for (int i = 0; i < 400 && refused.isEmpty(); ++i) {
        const QString address = QStringLiteral("http://fill%1.example/").arg(i);
        const QString reply = user.add(
            address + QString(WebProtocol::kMaxAddressChars - address.size(), QLatin1Char('p')), remark);
        if (!reply.startsWith(QStringLiteral("0|")))
            refused = reply;
    }
    ASSERT_FALSE(refused.isEmpty()) << "the disk never filled";
    EXPECT_TRUE(refused.startsWith(QStringLiteral("6|"))) << refused.toStdString();

    // A delete on the full disk either happens or says it failed; never "not on the list".
    const QString deleted = user.get(WebProtocol::Path::DelDomain, "&monitor_url=http://first.example");
    const bool listed = user.addresses().contains(QStringLiteral("http://first.example"));
    if (deleted.startsWith(QStringLiteral("0|")))
        EXPECT_FALSE(listed);
    else
        EXPECT_TRUE(deleted.startsWith(QStringLiteral("6|")) && listed) << deleted.toStdString();

    ASSERT_TRUE(service.signal(SIGTERM));
    ASSERT_TRUE(service.finished());
    const QString log = service.errors();
    EXPECT_TRUE(log.contains(QStringLiteral("database: ")) && log.contains(QStringLiteral("full")))
        << log.toStdString();
}

TEST(ServiceProcess, TakenPortOrBadDatabaseEndsWithOneLineAndAnError)
{
    QTemporaryDir dir;
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    const QString taken = QString::number(squatter.serverPort());
    struct Case {
        QStringList arguments;
        QString message;
    };
    const QList<Case> cases = {
        {{QStringLiteral("--web-port"), taken, QStringLiteral("--data-port"), QStringLiteral("0")},
         QStringLiteral("port ") + taken},
        {{QStringLiteral("--web-port"), QStringLiteral("0"), QStringLiteral("--data-port"), taken},
         QStringLiteral("port ") + taken},
        {{QStringLiteral("--web-port"), QStringLiteral("0"), QStringLiteral("--data-port"),
          QStringLiteral("0"), QStringLiteral("--db"), dir.filePath(QStringLiteral("no/such/dir/s.sqlite"))},
         QStringLiteral("cannot open database")},
        {{QStringLiteral("--web-port"), QStringLiteral("70000")}, QStringLiteral("--web-port")},
    };
    for (const Case &c : cases) {
        QStringList arguments = c.arguments;
        if (!arguments.contains(QStringLiteral("--db")))
            arguments << QStringLiteral("--db") << dir.filePath(QStringLiteral("s.sqlite"));
        ServiceProcess service(arguments);
        ASSERT_TRUE(service.finished()) << c.message.toStdString();
        EXPECT_NE(service.process.exitCode(), 0) << c.message.toStdString();
        const QStringList lines = service.errors().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(lines.last().startsWith(QStringLiteral("kestrel-service: ")))
            << lines.last().toStdString();
        EXPECT_TRUE(lines.last().contains(c.message)) << lines.last().toStdString();
    }
}

TEST(ServiceProcess, DemoAccountLogsInAndSeesItsAdsChange)
{
    QTemporaryDir dir;
    ServiceProcess service({QStringLiteral("--demo"), QStringLiteral("--seed"), QStringLiteral("3"),
                            QStringLiteral("--change-interval"), QStringLiteral("1"),
                            QStringLiteral("--web-port"), QStringLiteral("0"), QStringLiteral("--data-port"),
                            QStringLiteral("0"), QStringLiteral("--db"),
                            dir.filePath(QStringLiteral("demo.sqlite"))});
    ASSERT_TRUE(service.readPorts()) << service.errors().toStdString();

    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const HttpResult login = httpGet(QUrl::fromEncoded(
        QStringLiteral("http://127.0.0.1:%1/tongji/common_login_for_monitor/login.asp?")
            .arg(service.webPort)
            .toLatin1() +
        signedQuery(QStringLiteral("demo"), QStringLiteral("demo123"), QStringLiteral("1"), now)));
    const QStringList fields = WebText::SplitText(login.text(), QLatin1Char('|'));
    ASSERT_GE(fields.size(), 9) << login.text().toStdString();
    EXPECT_EQ(fields[0], QStringLiteral("0"));
    EXPECT_TRUE(fields[8].startsWith(QStringLiteral("http://127.0.0.1:%1/").arg(service.webPort)));

    const HttpResult list = httpGet(QUrl::fromEncoded(
        QStringLiteral("http://127.0.0.1:%1/tongji/common_login_for_monitor/get_user_domain_info.asp?")
            .arg(service.webPort)
            .toLatin1() +
        signedQuery(QStringLiteral("demo"), QStringLiteral("demo123"), QStringLiteral("2"), now)));
    const QStringList records = WebText::SplitText(list.text(), QLatin1Char('|'));
    ASSERT_EQ(records.size(), 5) << list.text().toStdString();
    QStringList watched;
    for (const QString &r : records)
        watched << WebText::SplitText(r, QLatin1Char(';')).value(1);

    DataClient client(service.dataPort);
    ASSERT_NE(client.next<MsgConnected>(), nullptr);
    MsgUserLoginReq req;
    req.body.set_username("demo");
    req.body.set_password("demo123");
    client.send(req);
    ASSERT_EQ(client.next<MsgUserLoginAck>()->body.code(), 0);
    const auto first = client.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->body.ext(), "");
    QSet<QString> withAds;
    for (const auto &ad : first->body.adslist())
        withAds.insert(QString::fromStdString(ad.strgameweb()));
    EXPECT_EQ(withAds, QSet<QString>(watched.begin(), watched.end()));

    const auto change = client.next<MsgUserAdsChangeNtf>(15000);
    ASSERT_NE(change, nullptr);
    const QStringList changed =
        WebText::SplitText(QString::fromStdString(change->body.ext()), QLatin1Char(';'));
    ASSERT_FALSE(changed.isEmpty());
    for (const QString &url : changed)
        EXPECT_TRUE(watched.contains(url)) << url.toStdString();
}

// A data client: connected and greeted, or closed by the service first.
struct DataAttempt {
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    bool greeted = false;
    qint64 elapsedMs = 0;
};

DataAttempt attemptData(quint16 port)
{
    DataAttempt attempt;
    QElapsedTimer timer;
    timer.start();
    attempt.socket->connectToHost(QHostAddress::LocalHost, port);
    // Unconnected covers a close within the same turn as the connect.
    waitFor(
        [&] {
            attempt.greeted = attempt.socket->bytesAvailable() > 0;
            return attempt.greeted || attempt.socket->state() == QAbstractSocket::UnconnectedState;
        },
        5000);
    attempt.elapsedMs = timer.elapsed();
    return attempt;
}

TEST(ServiceProcess, OutOfDescriptorsNewClientsAreRefusedAtOnceAndServedLater)
{
    QTemporaryDir dir;
    QStringList arguments = {QStringLiteral("-c"), QStringLiteral("ulimit -n 64 && exec \"$0\" \"$@\""),
                             QStringLiteral(KESTREL_SERVICE_EXE)};
    // The gate's caps and the login deadline stay out of the way: descriptors
    // run out first, and the clients held stay.
    arguments += serviceArguments(dir.filePath(QStringLiteral("s.sqlite")));
    arguments << QStringLiteral("--max-connections-per-address") << QStringLiteral("1000")
              << QStringLiteral("--login-deadline-ms") << QStringLiteral("120000");
    ServiceProcess service(arguments, QStringLiteral("sh"));
    ASSERT_TRUE(service.readPorts()) << service.errors().toStdString();
    // One client of each kind served and gone first: in a sanitizer build, the
    // first type check of a call needs a pipe, which a process out of
    // descriptors cannot open.
    ASSERT_EQ(rawHttpGet(service.webPort, "/banner.html").status, 200);
    ASSERT_TRUE(attemptData(service.dataPort).greeted);

    // Data clients that stay, until one is refused.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    std::optional<DataAttempt> refused;
    for (int i = 0; i < 100 && !refused; ++i) {
        DataAttempt attempt = attemptData(service.dataPort);
        if (attempt.greeted)
            held.push_back(std::move(attempt.socket));
        else
            refused = std::move(attempt);
    }
    ASSERT_TRUE(refused) << "no client refused after " << held.size();
    EXPECT_GT(held.size(), 10u);
    EXPECT_EQ(refused->socket->error(), QAbstractSocket::RemoteHostClosedError);
    EXPECT_LT(refused->elapsedMs, 2000);

    // A web client is told why.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(rawHttpGet(service.webPort, "/banner.html").status, 503);
    EXPECT_LT(timer.elapsed(), 2000);
    const DataAttempt another = attemptData(service.dataPort);
    EXPECT_FALSE(another.greeted);
    EXPECT_LT(another.elapsedMs, 2000);

    // Once the others are gone, clients are served again.
    held.clear();
    EXPECT_TRUE(waitFor([&] { return rawHttpGet(service.webPort, "/banner.html").status == 200; }));
    EXPECT_TRUE(attemptData(service.dataPort).greeted);

    ASSERT_EQ(service.process.state(), QProcess::Running) << service.errors().toStdString();
    ASSERT_TRUE(service.signal(SIGTERM));
    ASSERT_TRUE(service.finished());
    const QString log = service.errors();
    EXPECT_TRUE(log.contains(QStringLiteral("data out of descriptors"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("web out of descriptors"))) << log.toStdString();
}

} // namespace
