// kestrel-cli search KEY --json over loopback: 10,000 rows should take under
// a second, and the program's peak memory should not grow with the rows it
// writes (it streams them). Prints the run against a baseline measured in the
// same run: the same pages fetched in-process as raw frames, and the peak
// memory of the same search stopped after one page.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/demo/DemoData.h"
#include "tests/support/ServiceTestSupport.h"

extern char **environ;

using namespace ServiceTest;

namespace {

constexpr int kRows = 10'000;
const QString kKey = QStringLiteral("基准服");

struct ChildRun {
    int status = -1;
    double seconds = 0;
    long peakKb = 0;
    qsizetype lines = 0;
};

// Runs the program with standard output into a file while this thread's event
// loop serves it; wait4() gives the child's own peak resident memory.
ChildRun runCli(const QStringList &arguments, const QString &outputPath)
{
    std::vector<QByteArray> owned{QByteArrayLiteral(KESTREL_CLI_EXE)};
    for (const QString &argument : arguments)
        owned.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : owned)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, QFile::encodeName(outputPath).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ChildRun run;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return run;
    posix_spawn_file_actions_destroy(&actions);
    QTimer tick; // wakes the loop to look at the child now and then
    tick.start(1);
    rusage usage{};
    int status = 0;
    while (wait4(pid, &status, WNOHANG, &usage) == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    QFile out(outputPath);
    if (out.open(QIODevice::ReadOnly))
        run.lines = out.readAll().count('\n');
    return run;
}

// The client's own connection worker, handing each message to this thread
// and waking its event loop (which serves the in-process service meanwhile).
class RawClient : public IConnectSessionHandler {
public:
    explicit RawClient(quint16 port)
    {
        session.setDiagnosticSink([](const std::string &) {});
        session.configure("127.0.0.1", port, this);
        worker = std::thread([this] { session.Run(); });
    }
    ~RawClient() override
    {
        session.stop();
        worker.join();
    }
    void OnMessage(std::unique_ptr<MsgHeader> msg) override
    {
        {
            std::lock_guard guard(lock);
            queue.push_back(std::move(msg));
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    }
    template <class T> std::unique_ptr<T> next()
    {
        for (;;) {
            {
                std::lock_guard guard(lock);
                while (!queue.empty()) {
                    std::unique_ptr<MsgHeader> msg = std::move(queue.front());
                    queue.pop_front();
                    if (msg->type == T::kType)
                        return std::unique_ptr<T>(static_cast<T *>(msg.release()));
                }
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    ConnectSession session;

private:
    std::mutex lock;
    std::deque<std::unique_ptr<MsgHeader>> queue;
    std::thread worker;
};

// The baseline: every page asked for and received as frames by the client's
// own connection worker in this process, nothing decoded to text or written.
double rawFetchSeconds(quint16 port, int *rows)
{
    RawClient client(port);
    client.next<MsgConnected>();
    MsgUserLoginReq login;
    login.body.set_username(DemoData::kUser.toStdString());
    login.body.set_password(DemoData::kPassword.toStdString());
    client.session.Send(login);
    if (client.next<MsgUserLoginAck>()->body.code() != 0)
        return -1;
    QElapsedTimer clock;
    clock.start();
    *rows = 0;
    for (int index = 1;; ++index) {
        MsgUserSearchAdsReq request;
        request.body.set_key(kKey.toStdString());
        request.body.set_index(index);
        request.body.set_adweb("1");
        client.session.Send(request);
        const auto answer = client.next<MsgUserSearchAdsAck>();
        if (answer->body.adslist_size() == 0)
            break;
        *rows += answer->body.adslist_size();
        if (*rows >= answer->body.count())
            break;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    LogCapture quiet;
    LocalService service;
    if (!service.start() || !DemoData(7, QDate::currentDate()).fill(service->accounts(), service->ads())) {
        std::fprintf(stderr, "service did not start\n");
        return 1;
    }
    const QList<SiteRecord> sites = service->ads().catalogue();
    QList<AdRecord> ads;
    for (int i = 0; i < kRows; ++i)
        ads.append(makeAd(QStringLiteral("http://www.bench%1.example").arg(i % 200),
                          sites[i % sites.size()].name, kKey + QStringLiteral("%1区").arg(i), i % 3,
                          QStringLiteral("19:30")));
    if (!service->ads().addAds(ads)) {
        std::fprintf(stderr, "ads not stored\n");
        return 1;
    }

    QTemporaryDir dir;
    QFile password(dir.filePath(QStringLiteral("password")));
    if (!password.open(QIODevice::WriteOnly) || password.write(DemoData::kPassword.toUtf8() + '\n') <= 0)
        return 1;
    password.close();
    const QStringList common = {QStringLiteral("--json"),
                                QStringLiteral("--host"),
                                QStringLiteral("127.0.0.1"),
                                QStringLiteral("--web-port"),
                                QString::number(service->webPort()),
                                QStringLiteral("--data-port"),
                                QString::number(service->dataPort()),
                                QStringLiteral("--user"),
                                DemoData::kUser,
                                QStringLiteral("--password-file"),
                                password.fileName()};
    const QString output = dir.filePath(QStringLiteral("out.json"));

    int rawRows = 0;
    rawFetchSeconds(service->dataPort(), &rawRows); // warms the service's search cache
    const double raw = rawFetchSeconds(service->dataPort(), &rawRows);
    const ChildRun onePage = runCli(
        QStringList{QStringLiteral("search"), kKey, QStringLiteral("--limit"), QStringLiteral("20")} + common,
        output);
    const ChildRun full = runCli(QStringList{QStringLiteral("search"), kKey} + common, output);

    std::printf("rows: raw fetch %d, kestrel-cli %lld JSON lines (exit %d)\n", rawRows,
                static_cast<long long>(full.lines - 2), full.status);
    std::printf("time: raw frame fetch %.3f s, kestrel-cli search to JSON %.3f s (ratio %.2f; target under 1 "
                "s: %s)\n",
                raw, full.seconds, full.seconds / raw, full.seconds < 1.0 ? "met" : "MISSED");
    std::printf("peak RSS: one page %ld KB, %d rows %ld KB (ratio %.2f; flat while streaming: %s)\n",
                onePage.peakKb, kRows, full.peakKb, double(full.peakKb) / double(onePage.peakKb),
                full.peakKb < onePage.peakKb * 1.25 ? "yes" : "NO");
    const bool ok = full.status == 0 && onePage.status == 0 && full.lines - 2 == kRows && rawRows == kRows;
    return ok ? 0 : 1;
}
