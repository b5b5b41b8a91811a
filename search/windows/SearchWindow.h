#pragma once

#include <functional>
#include <optional>

#include "account/SearchHistory.h"
#include "lists/VirtualListCtrl.h"
#include "net/MsgDispatcher.h"
#include "platform/DialogWindow.h"
#include "search/SearchPager.h"

class AccountState;
class ICtrlData;
class QComboBox;

// Raised by the program each time the data connection has logged in, the
// first time and after every reconnect: a request the connection lost (or
// sent before its login, which the server ignores) is asked again then.
class LoginNotices : public QObject {
    Q_OBJECT
signals:
    void loggedIn();
};

// What every search window needs from the program around it.
struct SearchContext {
    // The account: histories, the site choice, the catalogue and baseDir.
    AccountState *account = nullptr;
    // Hands a request to the data server connection.
    std::function<void(MsgHeader &)> send;
    // Milliseconds of a steady clock. Unset: QDeadlineTimer's clock.
    std::function<qint64()> clock;
    // Runs a window modally and returns its result. Unset: DoModal().
    std::function<int(platform::DialogWindow &)> runModal;
    // The data connection's logins; unset: a lost request waits for the user.
    LoginNotices *logins = nullptr;

    qint64 nowMs() const;
    int runWindow(platform::DialogWindow &window) const;
};

// A window that searches the server's data by a typed key and pages through
// the answers: the key box with its history, "点击查询", "更多数据", the
// status line and the result list. It owns the subscription to its answer
// type, the paging state and the history of its keys; a subclass adds its
// columns, its request, its answer's rows and what a row opens.
class SearchWindow : public platform::DialogWindow, public IListCommandHandler {
    Q_OBJECT
public:
    enum Control {
        StatusBox = 1004,
        SearchButton = 1006,
        MoreButton = 1008,
        ResultList = 1010,
        KeyBox = 1015
    };

    ~SearchWindow() override;

    // Searched as soon as the window is created; set it before that.
    QString presetKey;
    CVirtualListCtrl resultList;

    void StartSearch();
    void RequestMore();
    // After a login on the data connection: the request still unanswered is
    // asked again when it went out on an earlier connection.
    void askAgainIfLost();

    const SearchPager &paging() const { return pager; }
    QComboBox *keyBox() const;
    QString statusText() const;
    bool isSubscribed() const;

protected:
    SearchWindow(int templateId, const SearchContext &context, SearchHistory history, SearchPager pager,
                 QWidget *parent);

    // Set once in the subclass's constructor: the handler of the answer type.
    template <class Msg, class T> void answerWith(T *window, void (T::*handler)(ConnectSession *, Msg &))
    {
        answerType = Msg::kType;
        subscribeAnswers = [window, handler] { MsgDispatcher::Subscribe(window, handler); };
        unsubscribeAnswers = [window, handler] { MsgDispatcher::Unsubscribe(window, handler); };
    }
    void subscribe();
    void unsubscribe();

    bool OnInitDialog() override;
    void OnCommand(int id) override;
    // Escape: stops listening to answers and ends the window.
    void OnCancel() override;

    // The subclass's part.
    virtual void setUpLists() = 0;
    virtual void clearRows() = 0;
    virtual qsizetype rowCount() const = 0;
    virtual ICtrlData *resultData() = 0;
    virtual void sendRequest(const QString &key, int index) = 0;
    // The key sent for the trimmed text; the text itself unless overridden.
    virtual QString fullKey(const QString &plain) const { return plain; }
    // Whether the window listens to answers from its creation on (the ad
    // search starts listening when it is activated instead).
    virtual bool subscribesOnCreate() const { return true; }

    // After the rows of an answer were appended: the status line, the paging
    // state and the result list.
    void answered(qint32 count, qint32 searchType = 0);

    const SearchContext &context() const { return ctx; }
    AccountState &account() const { return *ctx.account; }
    void send(MsgHeader &msg) const;

private:
    void fillKeyBox();
    // Sends a page request and remembers it until its answer comes.
    void ask(const QString &key, int index);

    // The request waiting for its answer, with the connection it went out on.
    struct Unanswered {
        QString key;
        int index = 0;
        int connection = 0;
    };
    std::optional<Unanswered> unanswered;

    SearchContext ctx;
    SearchHistory history;
    SearchPager pager;
    int answerType = 0;
    std::function<void()> subscribeAnswers;
    std::function<void()> unsubscribeAnswers;
    bool listening = false;
};
