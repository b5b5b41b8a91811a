#pragma once

#include <functional>
#include <vector>

#include "net/MsgHeader.h"
#include "records/AdRecords.h"
#include "records/CtrlData.h"
#include "lists/VirtualListCtrl.h"
#include "platform/DialogWindow.h"

class ConnectSession;
struct AccountData;

// The publishing-site catalogue: name, addresses, when the data server last
// finished collecting each site and how many ads it holds. On opening it shows
// the catalogue as the account holds it and asks the server for a fresh one;
// the server's acknowledgement (type 16) shows the catalogue again. The list
// reads a copy taken at those two moments, so sorting it never reorders the
// account's catalogue. Double-clicking a row opens the site's addresses.
class AdvertisingWebDlg : public platform::DialogWindow, public IListCommandHandler {
    Q_OBJECT
public:
    enum Control { SiteList = 1008 };
    enum Column { NameColumn = 0, UrlsColumn = 1, UpdateTimeColumn = 2, AdCountColumn = 3 };

    // Hands a request to the data server connection.
    using RequestSender = std::function<void(MsgHeader &)>;

    // The account must outlive the window.
    AdvertisingWebDlg(const AccountData &account, RequestSender send, QWidget *parent = nullptr);
    ~AdvertisingWebDlg() override;

    void OnWebInfoAck(ConnectSession *session, MsgGetAdvertisingWebInfoAck &msg);
    void OpenSiteRow(CVirtualListCtrl &control, Cell cell);
    void openHandler(CVirtualListCtrl &control, Cell cell) override;

    std::vector<AdvertisingWebData> rows;
    CtrlData<AdvertisingWebData> adapter{&rows, AdvertisingWebDataColumns};
    CVirtualListCtrl list;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    void showCatalogue();
    void unsubscribe();

    const AccountData &account;
    RequestSender send;
};
