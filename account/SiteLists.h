#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "account/AccountState.h"

// Site-list configurations and their values. A site-list value chooses
// publishing sites of the catalogue: "1" means every site, any other text
// names sites (their strWebMain) joined with '~'.

inline const QString kAllSites = QStringLiteral("1");
inline const QString kAllSitesConfigName = QStringLiteral("全部");

// Lines of weblist.txt longer than this many characters are cut there when
// read; no configuration the program writes comes near it.
inline constexpr qsizetype kMaxSiteListLine = 64 * 1024;

// baseDir + "weblist.txt".
QString siteListFilePath(const AccountState &state);

// Reads weblist.txt (creating an empty one when it is missing) into
// siteLists, siteListIndex and siteListValue. The first non-empty line is the
// selected index, every later line with '=' one configuration name=value.
// Never fails: without configurations there is ("全部", "1"), and an index
// outside the configurations selects the first.
void LoadSiteLists(AccountState &state);

// Writes siteListIndex and siteLists to weblist.txt through a temporary file
// that replaces it, so the old file stays whole when writing fails. False
// when nothing was replaced.
bool SaveSiteLists(const AccountState &state);

// The site names a value lists; empty for "1", an empty value or separators
// only, each of which stands for every site.
QStringList siteNamesOf(const QString &value);

// The site lists' presence rule: an item counts as present when some item
// of the list begins with the text, ignoring letter case (the list box's
// prefix search). So with 站AB listed, 站A counts as present.
bool isListed(const QStringList &items, const QString &text);

// What the two site lists show for a value: every catalogue site on the left;
// on the right the value's names (each unless already present) or, when the
// value names none, every catalogue site. In order of addition.
struct SiteBoxContents {
    QStringList left;
    QStringList right;
};
SiteBoxContents siteBoxContents(const QString &value, const std::vector<AdvertisingWebData> &sites);

// The value the two lists stand for: "1" when every left item is present on
// the right (or the left is empty), otherwise the right items in their order
// joined with '~' (empty for an empty right list).
QString ComputeSiteListValue(const QStringList &left, const QStringList &right);
