#include "sites/AdvertisingWebDlg.h"

#include "account/AccountState.h"
#include "net/MsgDispatcher.h"
#include "res/Resources.h"

AdvertisingWebDlg::AdvertisingWebDlg(const AccountData &account, RequestSender send, QWidget *parent)
    : DialogWindow(res::dialog(res::SiteStatusDialog), parent), account(account), send(std::move(send))
{
    bindControl(SiteList, list);
}

AdvertisingWebDlg::~AdvertisingWebDlg()
{
    // A window destroyed without being closed must not stay the subscriber.
    unsubscribe();
}

bool AdvertisingWebDlg::OnInitDialog()
{
    list.setServices(services());
    list.SetData(nullptr);
    list.SetColumns({QStringLiteral("站点名称"), QStringLiteral("发布站地址"),
                     QStringLiteral("数据采集完成时间"), QStringLiteral("广告条数")},
                    {200, 300, 130, 60});
    list.setCommandHandler(this);
    MsgDispatcher::Subscribe(this, &AdvertisingWebDlg::OnWebInfoAck);
    if (send) {
        MsgGetAdvertisingWebInfoReq request;
        send(request);
    }
    showCatalogue();
    return true;
}

void AdvertisingWebDlg::showCatalogue()
{
    // The list forgets the old rows before the copy replaces them.
    list.SetData(nullptr);
    rows = account.sites;
    list.SetData(&adapter);
}

void AdvertisingWebDlg::OnWebInfoAck(ConnectSession *, MsgGetAdvertisingWebInfoAck &)
{
    showCatalogue();
}

void AdvertisingWebDlg::openHandler(CVirtualListCtrl &control, Cell cell)
{
    OpenSiteRow(control, cell);
}

void AdvertisingWebDlg::OpenSiteRow(CVirtualListCtrl &, Cell cell)
{
    if (cell.row < 0 || cell.row >= int(rows.size()))
        return;
    const QString &urls = rows[size_t(cell.row)].strWebUrls;
    if (!urls.isEmpty())
        platform::shellOpen(services(), urls);
}

void AdvertisingWebDlg::OnOK()
{
    unsubscribe();
    DialogWindow::OnOK();
}

void AdvertisingWebDlg::OnCancel()
{
    unsubscribe();
    DialogWindow::OnCancel();
}

void AdvertisingWebDlg::unsubscribe()
{
    MsgDispatcher::Unsubscribe(this, &AdvertisingWebDlg::OnWebInfoAck);
}
