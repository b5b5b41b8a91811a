#pragma once

#include <memory>
#include <string>
#include <thread>

#include <QString>

#include "account/AccountState.h"
#include "app/KestrelDlg.h"
#include "net/ConnectSession.h"
#include "tests/support/LoopbackPeer.h"

// The main window as the benchmarks drive it: logged in without the dialog, no
// account refresh and no files, monitoring LoopbackWindow::addressOf(0 ..
// addresses - 1) with the pop-up, shown at 1100 x 600 with the sixth row (or
// the first) selected. Its data connection goes to dataPort (nothing listens
// on port 1).
std::unique_ptr<CKestrelDlg> makeBenchWindow(ConnectSession &session, int addresses, quint16 dataPort = 1);

// The main window connected to a data-server stand-in on loopback, so that a
// frame written by the stand-in takes the running program's whole path: the
// connection worker's receive and decode, the queue to the GUI thread,
// OnAdsChange and the list refills.
class LoopbackWindow {
public:
    // Monitors addressOf(0) .. addressOf(addresses - 1), all with the pop-up.
    explicit LoopbackWindow(int addresses);
    ~LoopbackWindow();
    LoopbackWindow(const LoopbackWindow &) = delete;
    LoopbackWindow &operator=(const LoopbackWindow &) = delete;

    static QString addressOf(int i);
    // An address nobody monitors; each frame carries markerAds ads for it, so
    // the GUI thread can tell when that frame has been handled.
    static QString markerAddress();

    bool connected() const { return worker.joinable(); }
    // Writes the frame; returns once its last byte is out.
    void write(const std::string &frame);
    // Runs the GUI thread until the marker holds markerAds ads and the lists
    // have repainted; false when that did not happen within the deadline.
    bool waitHandled(size_t markerAds);

    CKestrelDlg &window() { return *dlg; }
    AccountState &state();

private:
    size_t markerAdsHeld() const;

    LoopbackPeer peer;
    ConnectSession session;
    std::unique_ptr<CKestrelDlg> dlg;
    std::thread worker;
};
