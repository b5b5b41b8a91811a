#include "account/SiteLists.h"

#include <cstdio>

#include <QFile>

#include "account/FileStream.h"
#include "account/ServiceBase.h"

QString siteListFilePath(const AccountState &state)
{
    return state.baseDir + QStringLiteral("weblist.txt");
}

void LoadSiteLists(AccountState &state)
{
    state.siteLists.clear();
    bool indexRead = false;
    int index = 0;
    FileStream file(siteListFilePath(state),
                    FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeRead);
    QString line;
    while (file.isOpen() && file.ReadLine(line, kMaxSiteListLine)) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (!indexRead) {
            index = parseLeadingInt(line);
            indexRead = true;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals >= 0)
            state.siteLists.emplace_back(line.left(equals), line.mid(equals + 1));
    }
    if (state.siteLists.empty())
        state.siteLists.emplace_back(kAllSitesConfigName, kAllSites);
    // -1 (nothing selected) and any index past either end select the first.
    if (index < 0 || size_t(index) >= state.siteLists.size())
        index = 0;
    state.siteListIndex = index;
    state.siteListValue = state.siteLists[size_t(index)].second;
}

bool SaveSiteLists(const AccountState &state)
{
    const QString path = siteListFilePath(state);
    const QString temporary = path + QStringLiteral(".tmp");
    bool written = false;
    {
        FileStream file(temporary, FileStream::modeCreate | FileStream::modeWrite);
        if (!file.isOpen())
            return false;
        written = file.WriteLine(QString::number(state.siteListIndex));
        for (const auto &[name, value] : state.siteLists)
            written = written && file.WriteLine(name + QLatin1Char('=') + value);
        written = written && file.Sync();
    }
    if (!written ||
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

QStringList siteNamesOf(const QString &value)
{
    if (value == kAllSites)
        return {};
    return SplitText(value, QLatin1Char('~'));
}

bool isListed(const QStringList &items, const QString &text)
{
    for (const QString &item : items)
        if (item.startsWith(text, Qt::CaseInsensitive))
            return true;
    return false;
}

SiteBoxContents siteBoxContents(const QString &value, const std::vector<AdvertisingWebData> &sites)
{
    SiteBoxContents boxes;
    const QStringList names = siteNamesOf(value);
    for (const QString &name : names)
        if (!isListed(boxes.right, name))
            boxes.right.append(name);
    for (const AdvertisingWebData &site : sites) {
        boxes.left.append(site.strWebMain);
        if (names.isEmpty())
            boxes.right.append(site.strWebMain);
    }
    return boxes;
}

QString ComputeSiteListValue(const QStringList &left, const QStringList &right)
{
    for (const QString &item : left)
        if (!isListed(right, item))
            return right.join(QLatin1Char('~'));
    return kAllSites;
}
