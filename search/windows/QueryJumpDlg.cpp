#include "search/windows/QueryJumpDlg.h"

#include "net/message.pb.h"
#include "res/Resources.h"

QueryJumpDlg::QueryJumpDlg(const SearchContext &context, QWidget *parent)
    : KeySearchWindow(res::ForwardSearchDialog, context, SearchHistory::jumps, ForwardDataColumns, parent)
{
    answerWith(this, &QueryJumpDlg::OnSearchForwardAck);
}

void QueryJumpDlg::setUpLists()
{
    resultList.SetColumns({QStringLiteral("跳转前网址"), QStringLiteral("跳转前域名"),
                           QStringLiteral("跳转后网址"), QStringLiteral("跳转后域名"),
                           QStringLiteral("更新时间")},
                          {250, 130, 250, 130, 150});
}

void QueryJumpDlg::OnSearchForwardAck(ConnectSession *, MsgUserSearchForwardAck &msg)
{
    appendAnswer(msg.body.forwardlist(), msg.body.count());
}

void QueryJumpDlg::OpenCell(Cell cell)
{
    if (cell.row < 0 || cell.row >= int(forwards.size()) || cell.column < 0 ||
        cell.column >= adapter.GetColumnCount())
        return;
    // Only web addresses reach the browser: an "更新时间" cell opens nothing.
    const QString &text = adapter.GetText(cell.row, cell.column);
    if (!text.isEmpty())
        platform::shellOpen(services(), text);
}

void QueryJumpDlg::openHandler(CVirtualListCtrl &, Cell cell)
{
    OpenCell(cell);
}
