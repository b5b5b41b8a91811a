#include "bench/app/LoopbackWindow.h"

#include <chrono>

#include <QCoreApplication>

#include "account/ServiceBase.h"

std::unique_ptr<CKestrelDlg> makeBenchWindow(ConnectSession &session, int addresses, quint16 dataPort)
{
    ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), 1); // nothing listens: no web data
    AccountState &account = AccountState::Instance();
    account.resetForTests();
    CKestrelDlg::StartOptions options;
    options.login = [](CKestrelDlg &) { return true; };
    options.dataHost = QStringLiteral("127.0.0.1");
    options.dataPort = dataPort;
    options.startThreads = false; // the connection is the caller's to run; no account refresh
    options.writeShortcut = false;
    options.loadFiles = false;
    auto dlg = std::make_unique<CKestrelDlg>(session, account, ServiceBase::Instance(), options);
    dlg->Create();
    for (int i = 0; i < addresses; ++i) {
        DomainRecord r;
        r.url = LoopbackWindow::addressOf(i);
        r.remindType = QStringLiteral("3");
        account.domains[r.url] = r;
    }
    dlg->FillDomainList();
    dlg->domainList().setCurrentCell(addresses > 5 ? 5 : 0, 0);
    dlg->resize(1100, 600);
    dlg->show();
    return dlg;
}

LoopbackWindow::LoopbackWindow(int addresses)
{
    dlg = makeBenchWindow(session, addresses, peer.port());
    worker = std::thread([this] { session.Run(); });
    if (!peer.accept()) {
        session.stop();
        worker.join();
    }
}

LoopbackWindow::~LoopbackWindow()
{
    if (worker.joinable()) {
        session.stop();
        worker.join();
    }
    dlg.reset();
}

QString LoopbackWindow::addressOf(int i)
{
    return QStringLiteral("http://www.game%1.com").arg(i, 3, 10, QLatin1Char('0'));
}

QString LoopbackWindow::markerAddress()
{
    return QStringLiteral("http://www.marker.net");
}

AccountState &LoopbackWindow::state()
{
    return AccountState::Instance();
}

void LoopbackWindow::write(const std::string &frame)
{
    peer.write(frame);
}

size_t LoopbackWindow::markerAdsHeld() const
{
    const auto &store = AccountState::Instance().adStore;
    const auto found = store.find(markerAddress());
    if (found == store.end())
        return 0;
    size_t n = 0;
    for (const auto &[site, byTime] : found->second)
        for (const auto &[time, ads] : byTime)
            n += ads.size();
    return n;
}

bool LoopbackWindow::waitHandled(size_t markerAds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (markerAdsHeld() != markerAds) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents(); // let the lists repaint
    return true;
}
