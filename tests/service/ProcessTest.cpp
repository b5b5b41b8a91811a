#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>

#include "tests/support/ServiceTestSupport.h"
#include "webproto/WebText.h"

using namespace ServiceTest;

namespace {

// The built executable as a child process.
class ServiceProcess {
public:
    explicit ServiceProcess(QStringList arguments)
    {
        process.setProgram(QStringLiteral(KESTREL_SERVICE_EXE));
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
    ::kill(pid_t(service.process.processId()), SIGTERM);
    ASSERT_TRUE(service.finished());
    EXPECT_EQ(service.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.process.exitCode(), 0);
    const QString log = service.errors();
    EXPECT_TRUE(log.contains(QStringLiteral("GET /banner.html -> 200"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("connected")));
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

} // namespace
