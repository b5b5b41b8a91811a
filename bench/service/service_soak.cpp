// Memory of the service over a long run: rounds of clients logging in and
// out of the data server with an ad search each, a web login, and a demo
// change of ads pushed to whoever is logged in. Prints resident memory and
// heap in use every 100 rounds and, at the end, the growth since the warm-up
// against a 2 MB allowance.
//
// The warm-up ends at the first report after the replay record's window (plus
// a minute): until then the record keeps every signed web login of the run,
// and memory grows with it by design. The demo's history fills up to its
// limit within the warm-up too.
//
//   bench_service_soak [--rounds N] [--measure-secs S]
//     (default: 300 s past the warm-up, about 12 minutes; 5 connections per round)
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>

#include "bench/support/CommandLine.h"
#include "bench/support/MemoryFigures.h"
#include "service/demo/DemoData.h"
#include "service/demo/DemoTicker.h"
#include "service/web/WebAuth.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TestApplication.h"
#include "webproto/WebProtocol.h"

namespace {

using namespace ServiceTest;

constexpr int kClientsPerRound = 5;
constexpr int kReportEvery = 100;

// One client's visit: greeting, login (with the ads that follow it), one
// search, gone.
bool visit(LocalService &service, int round)
{
    DataClient client(service->dataPort());
    if (!client.logIn(DemoData::kUser, DemoData::kPassword))
        return false;
    MsgUserSearchAdsReq search;
    search.body.set_key(round % 2 ? "传奇" : "冰雪");
    search.body.set_type(1);
    search.body.set_arg("");
    search.body.set_index(1 + round % 3);
    search.body.set_adweb("");
    client.send(search);
    return client.next<MsgUserSearchAdsAck>() != nullptr;
}

bool webLogin(LocalService &service)
{
    const QByteArray query = signedQuery(DemoData::kUser, DemoData::kPassword, QStringLiteral("2"),
                                         QDateTime::currentSecsSinceEpoch());
    const HttpResult reply = httpGet(service.webUrl(QString::fromLatin1(WebProtocol::Path::Login) +
                                                    QLatin1Char('?') + QString::fromLatin1(query)));
    return reply.status == 200 && reply.text().startsWith(QStringLiteral("0|"));
}

} // namespace

int main(int argc, char **argv)
{
    // 0 rounds: until measureSecs past the warm-up.
    const long rounds = optionValue(argc, argv, "--rounds", 0);
    const qint64 measureSecs = optionValue(argc, argv, "--measure-secs", 300);
    const qint64 warmUpSecs = WebAuth::kMaxClockSkewSecs + 60;
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, false);
    int failed = 0;
    {
        LocalService service;
        if (std::getenv("KESTREL_SOAK_KEEP_DB")) {
            service.scratch.keep();
            std::printf("database: %s\n", qPrintable(service.databasePath()));
        }
        service.options.demo = true;
        service.options.changeIntervalSecs = 0; // changes come from the rounds
        // Every round logs in from the same address: no lock-out here.
        service.options.limits.addressLockFailures = 1 << 30;
        if (!service.start() || !service->ticker()) {
            std::fprintf(stderr, "the service did not start\n");
            return 1;
        }
        // One client stays for the whole run and receives every change.
        DataClient watcher(service->dataPort());
        if (!watcher.logIn(DemoData::kUser, DemoData::kPassword)) {
            std::fprintf(stderr, "the demo account cannot log in\n");
            return 1;
        }
        MemoryFigures first;
        MemoryFigures warm;
        MemoryFigures last;
        long warmRound = 0;
        qint64 warmSecs = 0;
        std::printf("%8s %8s %12s %12s %12s %12s\n", "rounds", "secs", "rss_kb", "anon_kb", "heap_kb",
                    "db_kb");
        QElapsedTimer running;
        running.start();
        long round = 1;
        const auto goOn = [&] {
            if (rounds > 0)
                return round <= rounds;
            return warmRound == 0 || running.elapsed() / 1000 < warmSecs + measureSecs;
        };
        for (; goOn(); ++round) {
            for (int c = 0; c < kClientsPerRound; ++c) {
                if (!visit(service, int(round))) {
                    std::fprintf(stderr, "round %ld: a client visit failed\n", round);
                    return 1;
                }
            }
            if (!webLogin(service)) {
                std::fprintf(stderr, "round %ld: the web login failed\n", round);
                return 1;
            }
            MsgAllHeartBeatNtf beat; // the watcher stays past the idle time-out
            watcher.send(beat);
            service->ticker()->tick();
            if (!watcher.next<MsgUserAdsChangeNtf>()) {
                std::fprintf(stderr, "round %ld: no change notification\n", round);
                return 1;
            }
            if (round % kReportEvery == 0) {
                last = MemoryFigures::now();
                const qint64 secs = running.elapsed() / 1000;
                if (round == kReportEvery)
                    first = last;
                if (warmRound == 0 && secs >= warmUpSecs) {
                    warm = last;
                    warmRound = round;
                    warmSecs = secs;
                }
                std::printf("%8ld %8lld %12ld %12ld %12ld %12lld\n", round, secs, last.residentKb,
                            last.anonymousKb, last.heapInUseKb,
                            QFileInfo(service.databasePath()).size() / 1024);
                std::fflush(stdout);
            }
        }
        const long ran = round - 1;
        last = MemoryFigures::now();
        if (warmRound > 0 && ran > warmRound) {
            const std::string what = "over " + std::to_string(ran) + " rounds since round " +
                                     std::to_string(warmRound) + " (" + std::to_string(warmSecs) + " s)";
            failed = MemoryFigures::reportGrowth(warm, last, what.c_str());
        } else if (ran >= 2 * kReportEvery) {
            std::printf("the run ended within the warm-up (%lld s): the growth below includes the replay "
                        "record filling\n",
                        warmUpSecs);
            const std::string what =
                "over " + std::to_string(ran) + " rounds since round " + std::to_string(kReportEvery);
            failed = MemoryFigures::reportGrowth(first, last, what.c_str());
        }
    }
    return failed;
}
