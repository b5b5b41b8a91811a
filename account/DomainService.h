#pragma once

#include <map>
#include <optional>

#include <QString>

#include "account/AccountState.h"
#include "webproto/ReplyText.h"

// The user's monitored addresses as the web service keeps them. Every
// request is signed (type "2") with the account's userName and password,
// and every reply text is appended to the activity log (the empty text for
// a failed request). All of them block while the request runs.

// The raw list reply; empty when the request failed.
QString GetUserDomainInfo();

// Replaces AccountState::domains with the service's list. Records are
// "x;url;remindType[;remark;publishing[;jinminhou]]" separated by '|'
// (empty fields dropped before counting; fewer than three fields: skipped;
// the first of two equal addresses wins). An address that was already
// listed keeps its adCount and updateTime. When the request fails or the
// service refuses it ("3|用户名或密码错误！") the previous list stays and
// false is returned; an empty reply empties it. The first failure of a run
// of them and the success that ends it write one line to standard output.
bool RefreshDomains();

// Most bytes of an address list read: far above what the service lets an
// account hold. A longer reply is a failed request, never a cut list.
inline constexpr int kMaxDomainListBytes = 8 * 1024 * 1024;

// The service's status reply in place of a list: the code and its message
// ("3|用户名或密码错误！"); nothing when the reply is a list (empty or not).
std::optional<ReplyText::Status> statusInsteadOfList(const QString &reply);

// The service's answer to an address request: "<code>|message".
struct DomainReply {
    bool answered = false; // false: the request failed
    int code = -1;         // -1 also when the reply states no code
    QString message;
    bool ok() const { return answered && code == 0; }
};
DomainReply parseDomainReply(const std::optional<QString> &reply);

// The line to write when a refresh of the list failed (only for the first
// of a run of failures) or worked (only after failures); empty otherwise.
// `failures` counts the failures in a row and is kept up to date.
QString domainRefreshNote(int &failures, bool ok, const QString &reason);

// The list a reply describes, read as RefreshDomains() reads it; an address
// found in `previous` keeps its adCount and updateTime.
std::map<QString, DomainRecord> parseDomainList(const QString &reply,
                                                const std::map<QString, DomainRecord> &previous);

// Asks the service to store the record under its url (replacing an earlier
// one). Its effect shows in the next RefreshDomains. True when a reply came
// and its leading code is 0 ("0|保存成功"); a refusal is "<code>|message".
bool AddDomain(DomainRecord record);
// The same request, with what the service answered.
DomainReply requestAddDomain(const DomainRecord &record);

// Asks the service to remove the address.
void DelDomain(const QString &url);
// The same request, with what the service answered.
DomainReply requestDelDomain(const QString &url);

// True when the address is monitored (exact match) with a pop-up reminder
// on this computer: remindType "1" or "3".
bool WantsLocalReminder(const QString &url);
