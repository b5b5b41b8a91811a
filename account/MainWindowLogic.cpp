#include "account/MainWindowLogic.h"

#include <set>
#include <unordered_map>

#include <QAnyStringView>
#include <QHash>

#include "net/message.pb.h"

namespace MainWindowLogic {

namespace {

QString fromUtf8(bool present, const std::string &text)
{
    return present ? QString::fromUtf8(text.data(), qsizetype(text.size())) : QString();
}

bool wantsPopup(const DomainRecord &record)
{
    return remindTypeWantsPopup(record.remindType);
}

} // namespace

QStringList domainRowTexts(const DomainRecord &record)
{
    return {
        record.url,
        record.remark,
        remindTypeText(record.remindType),
        record.jinminhou == 1 ? QStringLiteral("是") : QStringLiteral("否"),
        QString::number(record.adCount),
        record.updateTime == 0 ? QString() : formatLocalTime(record.updateTime),
    };
}

namespace {

// Site names and opening times repeat across thousands of ads: convert each
// distinct text once and let the records share it.
class SharedTexts {
public:
    QString get(bool present, const std::string &utf8)
    {
        if (!present)
            return {};
        auto found = texts.find(utf8);
        if (found == texts.end())
            found = texts.emplace(utf8, fromUtf8(true, utf8)).first;
        return found->second;
    }

private:
    std::unordered_map<std::string, QString> texts;
};

} // namespace

namespace {

// The text of a field, sharing the previous notification's copy when it holds
// the same text: most ads do not change between two notifications, and
// sharing spares converting, allocating and later freeing them.
QString textOf(bool present, const std::string &utf8, const QString *before)
{
    if (!present)
        return {};
    if (before && QAnyStringView::equal(*before, QUtf8StringView(utf8.data(), qsizetype(utf8.size()))))
        return *before;
    return fromUtf8(true, utf8);
}

} // namespace

namespace {

size_t adsHeld(const AdsBySite &sites)
{
    size_t count = 0;
    for (const auto &[site, byTime] : sites)
        for (const auto &[time, ads] : byTime)
            count += ads.size();
    return count;
}

bool sameAds(const AdsBySite *a, const AdsBySite *b)
{
    static const AdsBySite none;
    const AdsBySite &left = a ? *a : none;
    const AdsBySite &right = b ? *b : none;
    // Empty buckets hold nothing: compare what is held, not how it was filed.
    if (adsHeld(left) != adsHeld(right))
        return false;
    for (const auto &[site, byTime] : left) {
        for (const auto &[time, ads] : byTime) {
            if (ads.empty())
                continue;
            const auto otherSite = right.find(site);
            if (otherSite == right.end())
                return false;
            const auto otherTime = otherSite->second.find(time);
            if (otherTime == otherSite->second.end() || otherTime->second != ads)
                return false;
        }
    }
    return true;
}

const AdsBySite *adsOf(const std::map<QString, AdsBySite> &store, const QString &url)
{
    const auto found = store.find(url);
    return found == store.end() ? nullptr : &found->second;
}

} // namespace

QStringList applyAdsChange(AccountData &state, const Proto::UserAdsChangeNtf &ntf, qint32 now,
                           CompleteList complete)
{
    const QString ext = fromUtf8(ntf.has_ext(), ntf.ext());
    QStringList changed = ext.split(u';', Qt::SkipEmptyParts);
    const bool compared = ext.isEmpty() && complete == CompleteList::Compared;
    const std::set<QString> changedSet(changed.begin(), changed.end());

    // The store is rebuilt from scratch; the old one only lends its texts.
    std::map<QString, AdsBySite> previous;
    previous.swap(state.adStore);
    for (auto &[url, record] : state.domains)
        record.adCount = 0;

    SharedTexts shared;
    // The ads of one address arrive one after another: look its record and
    // its part of the store up once per run, not once per ad.
    const std::string *previousRaw = nullptr;
    QString gameWeb;
    DomainRecord *current = nullptr;
    AdsBySite *sites = nullptr;
    const AdsBySite *oldSites = nullptr;
    // Texts from `shared` keep their storage for the whole run, so a site and
    // time pair is known by its two data pointers: one hash probe per ad
    // instead of four ordered lookups comparing strings.
    struct Buckets {
        std::vector<OneAdData> *now = nullptr;
        const std::vector<OneAdData> *before = nullptr;
    };
    QHash<std::pair<const QChar *, const QChar *>, Buckets> bucketsOfAddress;
    std::vector<OneAdData> *bucket = nullptr;
    const std::vector<OneAdData> *oldBucket = nullptr;
    for (const Proto::OneAdInfo &info : ntf.adslist()) {
        const std::string &raw = info.has_strgameweb() ? info.strgameweb() : std::string();
        if (!previousRaw || raw != *previousRaw) {
            previousRaw = &info.strgameweb();
            const QString next = fromUtf8(info.has_strgameweb(), info.strgameweb());
            if (next != gameWeb || !sites) {
                gameWeb = next;
                const auto found = state.domains.find(gameWeb);
                current = found == state.domains.end() ? nullptr : &found->second;
                if (current && !compared && (ext.isEmpty() || changedSet.count(current->url)))
                    current->updateTime = now;
                sites = &state.adStore[gameWeb];
                const auto old = previous.find(gameWeb);
                oldSites = old == previous.end() ? nullptr : &old->second;
                bucketsOfAddress.clear();
            }
        }
        if (current)
            ++current->adCount;

        const QString site = shared.get(info.has_stradvertisingweb(), info.stradvertisingweb());
        const QString openTime = shared.get(info.has_stropentime(), info.stropentime());
        Buckets &slot = bucketsOfAddress[{site.constData(), openTime.constData()}];
        if (!slot.now) {
            slot.now = &(*sites)[site][openTime];
            if (oldSites) {
                const auto oldSite = oldSites->find(site);
                if (oldSite != oldSites->end()) {
                    const auto oldTime = oldSite->second.find(openTime);
                    if (oldTime != oldSite->second.end())
                        slot.before = &oldTime->second;
                }
            }
            if (slot.before && slot.now->empty())
                slot.now->reserve(slot.before->size());
        }
        bucket = slot.now;
        oldBucket = slot.before;
        const OneAdData *before =
            oldBucket && bucket->size() < oldBucket->size() ? &(*oldBucket)[bucket->size()] : nullptr;
        OneAdData ad;
        ad.strGameWeb = gameWeb;
        ad.strAdvertisingWeb = site;
        ad.strOpenTime = openTime;
        ad.strAdName = textOf(info.has_stradname(), info.stradname(), before ? &before->strAdName : nullptr);
        ad.strIp = textOf(info.has_strip(), info.strip(), before ? &before->strIp : nullptr);
        ad.strOtherInfo =
            textOf(info.has_strotherinfo(), info.strotherinfo(), before ? &before->strOtherInfo : nullptr);
        bucket->push_back(std::move(ad));
    }
    if (compared) {
        for (auto &[url, record] : state.domains) {
            if (sameAds(adsOf(previous, url), adsOf(state.adStore, url)))
                continue;
            record.updateTime = now;
            changed.append(url);
        }
    }
    return changed;
}

qint64 adCountOf(const AccountData &state, const QString &url)
{
    const AdsBySite *sites = adsOf(state.adStore, url);
    return sites ? qint64(adsHeld(*sites)) : 0;
}

void applySiteCatalogue(AccountData &state, const Proto::GetAdvertisingWebInfoNtf &ntf)
{
    state.sites.clear();
    state.sites.reserve(size_t(ntf.weblist_size()));
    for (const Proto::AdvertisingWebInfo &info : ntf.weblist())
        state.sites.push_back(AdvertisingWebData::fromProto(info));
}

std::vector<OneAdDataCount> siteRowsOf(const AccountData &state, const QString &url)
{
    std::vector<OneAdDataCount> rows;
    const auto found = state.adStore.find(url);
    if (found == state.adStore.end())
        return rows;
    for (const auto &[site, byTime] : found->second) {
        for (const auto &[openTime, ads] : byTime) {
            if (ads.empty())
                continue;
            OneAdDataCount row;
            row.strAdvertisingWeb = site;
            row.strOpenTime = openTime;
            row.strCount = QString::number(ads.size());
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

QString popupTextFor(const AccountData &state, const QStringList &changed)
{
    QString text = QStringLiteral("更新的网址:");
    bool any = false;
    for (const QString &url : changed) {
        const auto found = state.domains.find(url);
        if (found == state.domains.end() || !wantsPopup(found->second))
            continue;
        text += QStringLiteral("\r\n") + url;
        any = true;
    }
    return any ? text : QString();
}

QString mainWindowTitle(const QString &userName, const QString &mailbox)
{
    return QStringLiteral("Vorlant-高阶版 v12.4 网站 www.vorlant.com  账号:") + userName +
           QStringLiteral(" 接受提醒QQ邮箱:") + mailbox;
}

bool heartbeatDue(int &counter)
{
    if (counter >= 30) {
        counter = 0;
        return true;
    }
    ++counter;
    return false;
}

} // namespace MainWindowLogic
