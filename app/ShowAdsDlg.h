#pragma once

#include <vector>

#include "records/AdRecords.h"
#include "records/CtrlData.h"
#include "lists/VirtualListCtrl.h"
#include "platform/DialogWindow.h"

struct AccountData;

// The ads the client knows for one monitored address, as they stood when the
// window opened. Double-clicking a game address opens it, any other cell
// opens the publishing site of its row. Enter, Escape and the close box end it.
class ShowAdsDlg : public platform::DialogWindow, public IListCommandHandler {
    Q_OBJECT
public:
    enum Control { AdList = 1010 };

    ShowAdsDlg(const AccountData &account, const QString &keyUrl, QWidget *parent = nullptr);

    void OpenAdCell(CVirtualListCtrl &control, Cell cell);
    void openHandler(CVirtualListCtrl &control, Cell cell) override;

    QString keyUrl;
    std::vector<OneAdData> rows;
    CtrlData<OneAdData> adapter{&rows, OneAdDataColumns};
    CVirtualListCtrl list;

protected:
    bool OnInitDialog() override;

private:
    const AccountData &account;
};
