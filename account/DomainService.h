#pragma once

#include <map>

#include <QString>

#include "account/AccountState.h"

struct DomainReply;

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
// listed keeps its adCount and updateTime. When the request fails the
// previous list stays and false is returned; an empty reply empties it.
bool RefreshDomains();

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
