#include "app/ShowAdsDlg.h"

#include "account/AccountState.h"
#include "res/Resources.h"

namespace {

enum Column { SiteColumn = 0, GameColumn = 1 };

} // namespace

ShowAdsDlg::ShowAdsDlg(const AccountData &account, const QString &keyUrl, QWidget *parent)
    : DialogWindow(res::dialog(res::AdDetailDialog), parent), keyUrl(keyUrl), account(account)
{
    bindControl(AdList, list);
}

bool ShowAdsDlg::OnInitDialog()
{
    list.setServices(services());
    list.SetColumns({QStringLiteral("发布站网址"), QStringLiteral("游戏网址"), QStringLiteral("服务器名"),
                     QStringLiteral("服务器IP"), QStringLiteral("开机时间"), QStringLiteral("其它信息")},
                    {150, 220, 120, 120, 95, 450});
    list.setCommandHandler(this);
    rows.clear();
    const auto found = account.adStore.find(keyUrl);
    if (found != account.adStore.end()) {
        for (const auto &[site, byOpenTime] : found->second)
            for (const auto &[openTime, ads] : byOpenTime)
                rows.insert(rows.end(), ads.begin(), ads.end());
    }
    list.SetData(&adapter);
    return true;
}

void ShowAdsDlg::openHandler(CVirtualListCtrl &control, Cell cell)
{
    OpenAdCell(control, cell);
}

void ShowAdsDlg::OpenAdCell(CVirtualListCtrl &, Cell cell)
{
    if (cell.row < 0 || cell.row >= int(rows.size()))
        return;
    const OneAdData &ad = rows[size_t(cell.row)];
    const QString target =
        cell.column == GameColumn ? ad.strGameWeb : LookupSiteAddress(account.sites, ad.strAdvertisingWeb);
    if (!target.isEmpty())
        platform::shellOpen(services(), target);
}
