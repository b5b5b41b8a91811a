#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "account/AccountState.h"
#include "records/AdRecords.h"

namespace Proto {
class UserAdsChangeNtf;
class GetAdvertisingWebInfoNtf;
} // namespace Proto

// The main window's decisions, kept apart from its widgets (kestrel-cli makes
// the same ones).
namespace MainWindowLogic {

// The six cells of a monitored address in the main list.
QStringList domainRowTexts(const DomainRecord &record);

// How a notification that names no changed address (a complete list, sent
// after each login on the data connection) is read.
enum class CompleteList {
    // The first after the program's login: every address is stamped, none
    // counts as changed.
    First,
    // After a reconnect: the monitored addresses whose ads differ from the
    // ones held are the changed ones, so what changed while the connection
    // was down is told.
    Compared,
};

// Replaces the ad store and every ad count with the notification's complete
// list of ads and stamps the update time of the changed addresses. Returns
// the changed addresses named by the notification, in its order (for a
// compared complete list, those found different, in address order).
QStringList applyAdsChange(AccountData &state, const Proto::UserAdsChangeNtf &ntf, qint32 now,
                           CompleteList complete = CompleteList::First);

// How many ads the store holds for the address.
qint64 adCountOf(const AccountData &state, const QString &url);

// Replaces the catalogue of publishing sites.
void applySiteCatalogue(AccountData &state, const Proto::GetAdvertisingWebInfoNtf &ntf);

// One row per publishing site and opening time of the address's stored ads.
std::vector<OneAdDataCount> siteRowsOf(const AccountData &state, const QString &url);

// "更新的网址:" followed by each changed address that wants a pop-up on this
// computer; empty when none does (then no pop-up is shown).
QString popupTextFor(const AccountData &state, const QStringList &changed);

QString mainWindowTitle(const QString &userName, const QString &mailbox);

// Heartbeat counter step: true when this tick sends one.
bool heartbeatDue(int &counter);

} // namespace MainWindowLogic
