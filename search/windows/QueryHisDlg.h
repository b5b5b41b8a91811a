#pragma once

#include "records/AdRecords.h"
#include "search/windows/KeySearchWindow.h"

// The ads the server has recorded in the past for a game's address or
// domain, page by page. A double-click on any cell of a row opens the row's
// game address.
class QueryHisDlg : public KeySearchWindow<HisAdData, MsgUserSearchHisReq> {
    Q_OBJECT
public:
    QueryHisDlg(const SearchContext &context, QWidget *parent = nullptr);

    void OnSearchHisAck(ConnectSession *session, MsgUserSearchHisAck &msg);
    void OpenCell(Cell cell);
    void openHandler(CVirtualListCtrl &list, Cell cell) override;

    std::vector<HisAdData> &hisAds = rows;

protected:
    void setUpLists() override;
};
