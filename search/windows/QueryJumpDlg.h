#pragma once

#include "records/AdRecords.h"
#include "search/windows/KeySearchWindow.h"

// Where a game's address redirects to: for a full address or a domain, the
// redirects the server has seen, page by page. A double-click opens the
// clicked cell when it holds a web address.
class QueryJumpDlg : public KeySearchWindow<ForwardData, MsgUserSearchForwardReq> {
    Q_OBJECT
public:
    QueryJumpDlg(const SearchContext &context, QWidget *parent = nullptr);

    void OnSearchForwardAck(ConnectSession *session, MsgUserSearchForwardAck &msg);
    void OpenCell(Cell cell);
    void openHandler(CVirtualListCtrl &list, Cell cell) override;

    std::vector<ForwardData> &forwards = rows;

protected:
    void setUpLists() override;
};
