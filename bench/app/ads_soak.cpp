// Memory over a long run of ad changes: the main window fed through its real
// path (frames over loopback into the connection worker, the GUI queue,
// OnAdsChange, the list refills and the change pop-up), N changes of the usual
// shape: new texts each time, addresses coming and going, the pop-up created
// and closed. Prints resident memory and heap in use after every 1,000 changes
// and, at the end, the growth since the first 1,000 against a 2 MB allowance.
//
//   bench_ads_soak [--changes N] [--pace MS]   (default 20000 changes, pop-ups closed at once)
#include <cstdio>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include "bench/app/LoopbackWindow.h"
#include "bench/support/CommandLine.h"
#include "bench/support/MemoryFigures.h"
#include "app/MsgWindow.h"
#include "net/MsgHeader.h"
#include "net/message.pb.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/TestApplication.h"

namespace {

constexpr int kMonitored = 50;
constexpr int kAddressPool = 60; // some addresses with ads are not monitored
constexpr int kAddressesPerChange = 30;
constexpr int kAdsPerAddress = 10;
constexpr long kReportEvery = 1000;

std::string address(int i)
{
    return LoopbackWindow::addressOf(i).toStdString();
}

// Change number k: a sliding group of addresses, every text new, two changed
// monitored addresses (so the pop-up comes up), and the marker ads.
std::string changeFrame(long k)
{
    static const char *sites[] = {"新开传奇发布网", "找服网",   "99发布站",
                                  "传奇开服表",     "私服之家", "今日新服"};
    Proto::UserAdsChangeNtf n;
    const int first = int(k % kAddressPool);
    for (int a = 0; a < kAddressesPerChange; ++a) {
        const std::string web = address((first + a) % kAddressPool);
        for (int i = 0; i < kAdsPerAddress; ++i) {
            Proto::OneAdInfo *ad = n.add_adslist();
            ad->set_strgameweb(web);
            ad->set_stradvertisingweb(sites[(i + a) % 6]);
            ad->set_stradname("热血传奇" + std::to_string(k) + "-" + std::to_string(i) + "区");
            ad->set_strip("61.160." + std::to_string(k % 256) + "." + std::to_string(i));
            ad->set_stropentime("12月" + std::to_string(k % 28 + 1) + "日/" + std::to_string(i % 24) + ":30");
            ad->set_strotherinfo("无英雄 纯金币 第" + std::to_string(k) + "版");
            ad->set_iadcount(1);
        }
    }
    for (long m = 0; m <= k % 2; ++m) {
        Proto::OneAdInfo *ad = n.add_adslist();
        ad->set_strgameweb(LoopbackWindow::markerAddress().toStdString());
        ad->set_stradvertisingweb("marker");
    }
    n.set_ext(address(int(k % kMonitored)) + ";" + address(int((k + 7) % kMonitored)));
    return frameBytes(kMsgUserAdsChangeNtf, n.SerializePartialAsString());
}

// The pop-up would close itself after its countdown; a soak does not wait for it.
void closePopups()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *popup = qobject_cast<CMsgWindow *>(w))
            popup->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The offscreen platform warns about every pop-up (no masks, no raise()); a
// hundred thousand of those lines would bury the figures.
void dropQtMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

int livePopups()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<CMsgWindow *>(w) != nullptr;
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    const long changes = optionValue(argc, argv, "--changes", 20000);
    // With --pace, the pop-ups are not closed but left to count down and
    // slide away by themselves, as in the running program.
    const long paceMs = optionValue(argc, argv, "--pace", 0);
    const long reportEvery = paceMs > 0 ? kReportEvery / 10 : kReportEvery;
    qInstallMessageHandler(dropQtMessages);
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, true);
    int failed = 0;
    {
        LoopbackWindow loopback(kMonitored);
        if (!loopback.connected()) {
            std::fprintf(stderr, "no loopback connection\n");
            return 1;
        }
        // As with real accounts, some addresses remind by QQ only or not at all:
        // their changes make a pop-up that is never shown and goes by itself.
        for (int i = 0; i < kMonitored; ++i) {
            const char *remind[] = {"3", "1", "2", "4"};
            loopback.state().domains[LoopbackWindow::addressOf(i)].remindType =
                QString::fromLatin1(remind[i % 4]);
        }
        MemoryFigures atFirstReport;
        MemoryFigures last;
        std::printf("%10s %12s %12s %8s\n", "changes", "rss_kb", "heap_kb", "popups");
        for (long k = 1; k <= changes; ++k) {
            loopback.write(changeFrame(k));
            if (!loopback.waitHandled(size_t(k % 2 + 1))) {
                std::fprintf(stderr, "change %ld not handled in time\n", k);
                return 1;
            }
            if (paceMs > 0) {
                QElapsedTimer waited;
                waited.start();
                while (waited.elapsed() < paceMs)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(paceMs));
            } else {
                closePopups();
            }
            if (k % reportEvery == 0) {
                last = MemoryFigures::now();
                if (k == reportEvery)
                    atFirstReport = last;
                std::printf("%10ld %12ld %12ld %8d\n", k, last.residentKb, last.heapInUseKb, livePopups());
                std::fflush(stdout);
            }
        }
        if (changes >= 2 * reportEvery) {
            const std::string what =
                "after " + std::to_string(changes) + " changes since " + std::to_string(reportEvery);
            failed = MemoryFigures::reportGrowth(atFirstReport, last, what.c_str());
        }
    }
    return failed;
}
