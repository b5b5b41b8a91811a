#include "search/windows/SearchWindow.h"

#include <QComboBox>
#include <QDeadlineTimer>

#include "account/AccountState.h"
#include "platform/ControlHelpers.h"
#include "records/CtrlData.h"
#include "res/Resources.h"
#include "search/SearchKeys.h"

qint64 SearchContext::nowMs() const
{
    if (clock)
        return clock();
    return QDeadlineTimer::current().deadline();
}

int SearchContext::runWindow(platform::DialogWindow &window) const
{
    if (runModal)
        return runModal(window);
    return window.DoModal();
}

SearchWindow::SearchWindow(int templateId, const SearchContext &context, SearchHistory history,
                           SearchPager pager, QWidget *parent)
    : DialogWindow(res::dialog(templateId), parent), ctx(context), history(history), pager(pager)
{
    Q_ASSERT(ctx.account);
    bindControl(ResultList, resultList);
    if (ctx.logins)
        connect(ctx.logins, &LoginNotices::loggedIn, this, &SearchWindow::askAgainIfLost);
}

SearchWindow::~SearchWindow()
{
    // A window destroyed without being closed must not stay the subscriber.
    unsubscribe();
}

QComboBox *SearchWindow::keyBox() const
{
    return control<QComboBox>(KeyBox);
}

QString SearchWindow::statusText() const
{
    return itemText(StatusBox);
}

bool SearchWindow::isSubscribed() const
{
    return listening;
}

void SearchWindow::subscribe()
{
    if (subscribeAnswers)
        subscribeAnswers();
    listening = true;
}

void SearchWindow::unsubscribe()
{
    // Removes the handler only while it is still this window's.
    if (unsubscribeAnswers)
        unsubscribeAnswers();
    listening = false;
}

bool SearchWindow::OnInitDialog()
{
    resultList.setServices(services());
    setUpLists();
    resultList.setCommandHandler(this);
    if (subscribesOnCreate())
        subscribe();
    fillKeyBox();
    if (!presetKey.isEmpty()) {
        keyBox()->setEditText(presetKey);
        StartSearch();
    }
    return true;
}

void SearchWindow::fillKeyBox()
{
    QComboBox *box = keyBox();
    for (const QString &key : searchHistoryList(account(), history))
        platform::AddString(*box, key);
    box->setEditText(QString());
}

void SearchWindow::OnCommand(int id)
{
    switch (id) {
    case SearchButton:
        StartSearch();
        return;
    case MoreButton:
        RequestMore();
        return;
    default:
        DialogWindow::OnCommand(id);
    }
}

void SearchWindow::OnCancel()
{
    unsubscribe();
    DialogWindow::OnCancel();
}

void SearchWindow::StartSearch()
{
    const qint64 now = ctx.nowMs();
    if (!pager.canStart(now, account().connectionsMade))
        return;
    clearRows();
    resultList.SetData(resultData());

    const QString plain = SearchKeys::trimSlashes(keyBox()->currentText());
    const std::optional<int> index = pager.start(fullKey(plain), now, account().connectionsMade);
    if (!index)
        return;
    if (recordSearchKey(account(), history, plain))
        platform::AddString(*keyBox(), plain);
    ask(pager.currentKey(), *index);
}

void SearchWindow::RequestMore()
{
    if (const std::optional<int> index = pager.more(rowCount()))
        ask(pager.currentKey(), *index);
}

void SearchWindow::ask(const QString &key, int index)
{
    unanswered = Unanswered{key, index, account().connectionsMade};
    sendRequest(key, index);
}

void SearchWindow::askAgainIfLost()
{
    // Only the window that takes the answers asks: a covered one would get none.
    if (!unanswered || !listening || unanswered->connection == account().connectionsMade)
        return;
    unanswered->connection = account().connectionsMade;
    sendRequest(unanswered->key, unanswered->index);
}

void SearchWindow::answered(qint32 count, qint32 searchType)
{
    unanswered.reset();
    setItemText(StatusBox, SearchKeys::requestedStatus(rowCount(), count));
    pager.answered(count, searchType);
    resultList.SetData(resultData());
}

void SearchWindow::send(MsgHeader &msg) const
{
    if (ctx.send)
        ctx.send(msg);
}
