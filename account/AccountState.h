#pragma once

#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "records/AdRecords.h"

// One monitored web address with its reminder settings and ad counters.
struct DomainRecord {
    QString url;        // also its key in AccountState::domains
    QString remindType; // "1" pop-up, "2" QQ message, "3" both, "4" none
    QString remark;
    QString publishing; // site-list value: "1" or site names joined with '~'
    int jinminhou = 0;  // 1: only ads opening today, tomorrow or the day after
    int adCount = 0;
    int updateTime = 0; // seconds since 1970 of the last change of its ads
    int row = -1;       // row in the main list, once the list has been filled
};

// Reminder code <-> the text the lists and the address dialog show; an
// unknown code or text gives the empty text.
QString remindTypeText(const QString &code);
QString remindTypeCode(const QString &text);
// The reminder texts in code order ("1" first).
QStringList remindTypeTexts();
// Whether the reminder code asks for a pop-up on this computer: "1" (本地提醒)
// or "3" (都提醒).
bool remindTypeWantsPopup(const QString &code);

// Ordered by QString's operator<, which compares UTF-16 code units (ordinal).
using AdsByOpenTime = std::map<QString, std::vector<OneAdData>>;
using AdsBySite = std::map<QString, AdsByOpenTime>;

// Everything the account holds apart from the things fixed at start-up.
struct AccountData {
    std::set<QString> searchHis;
    std::set<QString> searchJumpHis;
    std::set<QString> searchHisHis;
    int loginCode = -1; // 0 once logged in
    QString loginMessage;
    QString mailbox;
    QString userName;
    QString password;
    QString siteListValue = QStringLiteral("1");
    int siteListIndex = 0;
    std::vector<std::pair<QString, QString>> siteLists; // (name, value)
    QString noticeText;
    QString linkUrl;
    QString pageUrl;
    QString shownPageUrl;
    // Connections made to the data server in this run (GUI thread).
    int connectionsMade = 0;
    std::vector<AdvertisingWebData> sites;
    std::map<QString, AdsBySite> adStore; // monitored URL -> site -> open time -> ads
    std::map<QString, DomainRecord> domains;
    // Refreshes of `domains` that failed in a row (the list shown is older).
    int domainRefreshFailures = 0;
};

// The process-wide account: credentials, login results, monitored addresses,
// catalogue, ad store, site lists and histories. Reached only through
// Instance(). `lock` serialises the login's stores (which also run on the
// refresh thread) and log appends; the GUI thread reads what a login stores
// through loginFields() and everything else without a lock.
class AccountState : public AccountData {
public:
    static AccountState &Instance();

    AccountState(const AccountState &) = delete;
    AccountState &operator=(const AccountState &) = delete;

    // Directory of the running executable, ending in '/': root of every file
    // the client keeps.
    QString baseDir;
    std::recursive_mutex lock;

    // The fields a login stores, which the refresh thread may write at any
    // time: read them from elsewhere through this copy taken under the lock.
    struct LoginFields {
        QString userName;
        QString password;
        QString mailbox;
        QString noticeText;
        QString linkUrl;
        QString pageUrl;
        int loginCode = -1;
        QString loginMessage;
    };
    LoginFields loginFields();

    // Back to the initial values (baseDir stays), so that tests start clean.
    void resetForTests();

private:
    AccountState();
};
