#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QElapsedTimer>
#include <QTcpServer>

#include "tests/support/CannedHttpServer.h"
#include "account/ServiceBase.h"

using namespace std::chrono_literals;

namespace {

// Short enough for the silent-server cases to finish in about a second.
const HttpTimeouts kQuick{300ms, 1000ms};

} // namespace

TEST(HttpGet, OnlyStatus200Counts)
{
    CannedHttpServer server([](const QByteArray &target) {
        if (target == "/missing")
            return CannedHttpServer::withStatus(404, "not here");
        if (target == "/error")
            return CannedHttpServer::withStatus(500, "");
        if (target == "/empty")
            return CannedHttpServer::ok("");
        return CannedHttpServer::ok("0|fine");
    });

    EXPECT_EQ(httpFetch(server.address() + "/found"), std::optional<QString>(QStringLiteral("0|fine")));
    EXPECT_EQ(httpFetch(server.address() + "/missing"), std::nullopt);
    EXPECT_EQ(httpFetch(server.address() + "/error"), std::nullopt);
    // An empty answer is an answer, not a failure.
    const std::optional<QString> empty = httpFetch(server.address() + "/empty");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());

    EXPECT_EQ(HttpGet(server.address() + "/found"), QStringLiteral("0|fine"));
    EXPECT_EQ(HttpGet(server.address() + "/missing"), QString());
    EXPECT_EQ(server.targets(),
              QList<QByteArray>({"/found", "/missing", "/error", "/empty", "/found", "/missing"}));
}

TEST(HttpGet, ReplyDecodedFromGbkUpToTheFirstNul)
{
    CannedHttpServer server([](const QByteArray &target) {
        if (target == "/nul")
            return CannedHttpServer::ok(QByteArray("before\0after", 12));
        return CannedHttpServer::ok("3|\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3"); // 3|密码错误
    });
    EXPECT_EQ(HttpGet(server.address() + "/gbk"), QStringLiteral("3|\u5bc6\u7801\u9519\u8bef"));
    EXPECT_EQ(HttpGet(server.address() + "/nul"), QStringLiteral("before"));
}

TEST(HttpGet, ReadsAtMost9999Bytes)
{
    QByteArray big(20'000, 'a');
    big[kMaxReplyBytes - 1] = 'z';
    big[kMaxReplyBytes] = 'y'; // first byte that is never seen
    CannedHttpServer server([&](const QByteArray &target) {
        return CannedHttpServer::ok(target == "/exact" ? big.left(kMaxReplyBytes) : big);
    });

    const QString cut = HttpGet(server.address() + "/big");
    ASSERT_EQ(cut.size(), kMaxReplyBytes);
    EXPECT_TRUE(cut.endsWith(u'z'));
    EXPECT_EQ(HttpGet(server.address() + "/exact"), cut);
}

TEST(HttpGet, RefusedConnectionFails)
{
    quint16 closedPort;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    EXPECT_EQ(httpFetch(QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort), kQuick), std::nullopt);
}

TEST(HttpGet, SilentServerTimesOut)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::silent(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(httpFetch(server.address() + "/never", kQuick), std::nullopt);
    EXPECT_LT(clock.elapsed(), 5'000);
    EXPECT_EQ(server.targets().size(), 1);
}

TEST(HttpGet, EndlessTrickleStopsAtTheTotalDeadline)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::trickle(); });
    QElapsedTimer clock;
    clock.start();
    // Bytes keep coming, so only the deadline for the whole request ends it.
    EXPECT_EQ(httpFetch(server.address() + "/slow", kQuick), std::nullopt);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5'000);
}

TEST(HttpGet, DefaultTimeoutsAreTenAndThirtySeconds)
{
    const HttpTimeouts defaults;
    EXPECT_EQ(defaults.connect, 10s);
    EXPECT_EQ(defaults.total, 30s);
    EXPECT_EQ(ServiceBase().timeouts().connect, 10s);
}

TEST(HttpGet, WorksFromAThreadWithoutEventLoop)
{
    CannedHttpServer server([](const QByteArray &target) {
        return target == "/missing" ? CannedHttpServer::withStatus(404, "") : CannedHttpServer::ok("worker");
    });
    std::optional<QString> found, missing, silent;
    CannedHttpServer quiet([](const QByteArray &) { return CannedHttpServer::silent(); });
    std::thread worker([&] {
        found = httpFetch(server.address() + "/x");
        missing = httpFetch(server.address() + "/missing");
        silent = httpFetch(quiet.address() + "/x", kQuick);
    });
    worker.join();
    EXPECT_EQ(found, std::optional<QString>(QStringLiteral("worker")));
    EXPECT_EQ(missing, std::nullopt);
    EXPECT_EQ(silent, std::nullopt);
}

TEST(HttpGet, PercentEncodedValuesArriveIntact)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("ok"); });
    const QString value = QStringLiteral("a&b=c#d%e f+g\u4f60\u597d/?~");
    ASSERT_EQ(HttpGet(server.address() + "/p?v=" + WebProtocol::queryValue(value) + "&w=1"),
              QStringLiteral("ok"));
    const QByteArray target = server.targets().value(0);
    EXPECT_FALSE(target.contains(' '));
    EXPECT_FALSE(target.contains('#'));
    EXPECT_EQ(QueryParameter(target, "v"), value);
    EXPECT_EQ(QueryParameter(target, "w"), QStringLiteral("1"));
}
