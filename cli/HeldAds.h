#pragma once

#include <map>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "net/message.pb.h"

namespace cli {

// The ads the data server listed last, by address. Every notification lists
// the ads of all the account's addresses; after a reconnection the complete
// list is compared with the ads held, which shows what changed while the
// connection was down.
class HeldAds {
public:
    using AdList = google::protobuf::RepeatedPtrField<Proto::OneAdInfo>;

    // Holds the list's ads instead; returns the addresses whose ads differ
    // from those held before (gained, lost or changed), in order.
    QStringList take(const AdList &list);
    // How many ads the last list had for the address.
    qint64 count(const QString &url) const;

private:
    // Each address's ads, serialised and sorted: equal when the ads are.
    std::map<QString, std::vector<std::string>> held;
};

} // namespace cli
