#pragma once

#include <optional>

#include <QString>

#include "account/AccountState.h"
#include "account/DomainService.h"

// What every front end that edits a monitored address decides the same way:
// which addresses and reminders are accepted, and which requests a change
// sends. Widget-free, so the address dialog and the command line share it.

// The outcome of the address checks: the address as it will be sent, or the
// message of the first check that failed.
struct DomainEditCheck {
    QString url;   // without its leading and trailing '/' characters
    QString error; // empty when accepted
    bool accepted() const { return error.isEmpty(); }
};

// Checks a typed address, the reminder's text ("都提醒"; empty when none is
// chosen) and the remark in a fixed order: empty address, no reminder, no
// "http://" in it and no "https://" at its start, then what the service's
// list could not give back as typed: an address or remark longer than the
// service stores, or holding "|" or ";" (its separators, which it would
// replace by their full-width forms).
DomainEditCheck checkDomainEdit(const QString &typedUrl, const QString &remindText,
                                const QString &remark = QString());

// What a change of a monitored address has to send.
struct ModifyPlan {
    bool deleteOld = false;
    bool addNew = false;
};
ModifyPlan planModify(const DomainRecord &before, const DomainRecord &after);

// Sends an edited address: a new one (before null) is added; a changed one is
// added anew and, when its address changed, the old one is removed once the
// service took the new one, so a refusal never leaves neither watched.
// nullopt when nothing changed and nothing was sent; else the answer to the
// address that was added.
std::optional<DomainReply> sendDomainEdit(const DomainRecord *before, const DomainRecord &after);
