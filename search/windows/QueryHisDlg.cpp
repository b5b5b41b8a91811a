#include "search/windows/QueryHisDlg.h"

#include "net/message.pb.h"
#include "res/Resources.h"

QueryHisDlg::QueryHisDlg(const SearchContext &context, QWidget *parent)
    : KeySearchWindow(res::HistorySearchDialog, context, SearchHistory::historyAds, HisAdDataColumns, parent)
{
    answerWith(this, &QueryHisDlg::OnSearchHisAck);
}

void QueryHisDlg::setUpLists()
{
    resultList.SetColumns({QStringLiteral("游戏网址"), QStringLiteral("游戏网址域名"),
                           QStringLiteral("发布站"), QStringLiteral("广告时间"), QStringLiteral("广告条数 ")},
                          {250, 150, 250, 150, 110});
}

void QueryHisDlg::OnSearchHisAck(ConnectSession *, MsgUserSearchHisAck &msg)
{
    appendAnswer(msg.body.adslist(), msg.body.count());
}

void QueryHisDlg::OpenCell(Cell cell)
{
    if (cell.row < 0 || cell.row >= int(hisAds.size()))
        return;
    const QString &address = hisAds[size_t(cell.row)].strGameWeb;
    if (!address.isEmpty())
        platform::shellOpen(services(), address);
}

void QueryHisDlg::openHandler(CVirtualListCtrl &, Cell cell)
{
    OpenCell(cell);
}
