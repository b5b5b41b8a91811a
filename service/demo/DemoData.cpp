#include "service/demo/DemoData.h"

#include <QDateTime>
#include <QSet>

#include <algorithm>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/ServiceLog.h"

const QString DemoData::kUser = QStringLiteral("demo");
const QString DemoData::kPassword = QStringLiteral("demo123");

namespace {

struct SiteName {
    const char *name;
    const char *host;
};

const SiteName kSites[] = {
    {"飞鹰发布站", "feiying"}, {"龙门发布网", "longmen"},   {"星河开服网", "xinghe"},
    {"青云发布站", "qingyun"}, {"天马新服网", "tianma"},    {"金鼎发布网", "jinding"},
    {"赤兔开服站", "chitu"},   {"紫电发布网", "zidian"},    {"北斗新开网", "beidou"},
    {"银狐发布站", "yinhu"},   {"长风开服网", "changfeng"},
};

// Game address numbers run from 100 to 999.
constexpr int kGameNumbers = 900;

const QList<std::pair<QString, QString>> kFamilies = {
    {QStringLiteral("雷霆"), QStringLiteral("leiting")},
    {QStringLiteral("龙腾"), QStringLiteral("longteng")},
    {QStringLiteral("冰雪"), QStringLiteral("bingxue")},
    {QStringLiteral("火龙"), QStringLiteral("huolong")},
    {QStringLiteral("战神"), QStringLiteral("zhanshen")},
    {QStringLiteral("王者"), QStringLiteral("wangzhe")},
    {QStringLiteral("霸业"), QStringLiteral("baye")},
    {QStringLiteral("天下"), QStringLiteral("tianxia")},
    {QStringLiteral("神龙"), QStringLiteral("shenlong")},
    {QStringLiteral("凤凰"), QStringLiteral("fenghuang")},
    {QStringLiteral("沙城"), QStringLiteral("shacheng")},
    {QStringLiteral("屠龙"), QStringLiteral("tulong")},
    {QStringLiteral("蓝月"), QStringLiteral("lanyue")},
    {QStringLiteral("烈焰"), QStringLiteral("lieyan")},
    {QStringLiteral("赤月"), QStringLiteral("chiyue")},
    {QStringLiteral("圣域"), QStringLiteral("shengyu")},
    {QStringLiteral("玛法"), QStringLiteral("mafa")},
    {QStringLiteral("盛世"), QStringLiteral("shengshi")},
    {QStringLiteral("逐鹿"), QStringLiteral("zhulu")},
    {QStringLiteral("九天"), QStringLiteral("jiutian")},
    {QStringLiteral("紫霞"), QStringLiteral("zixia")},
    {QStringLiteral("青龙"), QStringLiteral("qinglong")},
    {QStringLiteral("白虎"), QStringLiteral("baihu")},
    {QStringLiteral("玄武"), QStringLiteral("xuanwu")},
    {QStringLiteral("朱雀"), QStringLiteral("zhuque")},
    {QStringLiteral("血饮"), QStringLiteral("xueyin")},
    {QStringLiteral("狂暴"), QStringLiteral("kuangbao")},
    {QStringLiteral("荣耀"), QStringLiteral("rongyao")},
    {QStringLiteral("风云"), QStringLiteral("fengyun")},
    {QStringLiteral("传奇"), QStringLiteral("chuanqi")},
};

const QStringList kVersions = {QStringLiteral("1.76"), QStringLiteral("1.80"), QStringLiteral("1.85"),
                               QStringLiteral("1.95"), QStringLiteral("1.70")};

const QStringList kStyles = {QStringLiteral("复古"), QStringLiteral("合击"),   QStringLiteral("金币版"),
                             QStringLiteral("微变"), QStringLiteral("中变"),   QStringLiteral("超变"),
                             QStringLiteral("轻变"), QStringLiteral("冰雪版"), QStringLiteral("英雄合击"),
                             QStringLiteral("迷失"), QStringLiteral("单职业"), QStringLiteral("神器版")};

const QStringList kAreas = {QStringLiteral("一区"), QStringLiteral("二区"),     QStringLiteral("三区"),
                            QStringLiteral("四区"), QStringLiteral("五区"),     QStringLiteral("六区"),
                            QStringLiteral("七区"), QStringLiteral("八区"),     QStringLiteral("九区"),
                            QStringLiteral("十区"), QStringLiteral("双线一区"), QStringLiteral("电信一区")};

const QStringList kNotes = {
    QStringLiteral("今日新开"),     QStringLiteral("独家首发"),   QStringLiteral("散人可般"),
    QStringLiteral("装备全靠打"),   QStringLiteral("不坑不托"),   QStringLiteral("长久稳定"),
    QStringLiteral("万人攻沙"),     QStringLiteral("高爆率"),     QStringLiteral("绿色耐玩"),
    QStringLiteral("首区火爆开启"), QStringLiteral("送VIP"),      QStringLiteral("元宝回收"),
    QStringLiteral("攻沙奖励"),     QStringLiteral("无任何变态"), QStringLiteral("百区合一"),
    QStringLiteral("经典原味")};

QStringList timeMarks()
{
    QStringList marks;
    for (int hour = 7; hour <= 23; ++hour) {
        marks.append(QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0')));
        marks.append(QStringLiteral("%1:30").arg(hour, 2, 10, QLatin1Char('0')));
    }
    return marks;
}

const QStringList kAllDayMarks = {QStringLiteral("全天固顶"), QStringLiteral("通宵"),
                                  QStringLiteral("通宵固顶")};

} // namespace

int DemoData::maxGames()
{
    return int(kFamilies.size()) * kGameNumbers;
}

int DemoData::gamesFor(int ads)
{
    return std::clamp(ads / 50, 1, maxGames());
}

DemoData::DemoData(quint32 seed, const QDate &today, int gameCount) : rng(seed), today(today)
{
    // Each address is a family and a number: asking for more than there are
    // would never end.
    gameCount = std::min(gameCount, maxGames());
    QSet<QString> taken;
    while (games.size() < gameCount) {
        const auto &family = pick(kFamilies);
        const QString version = pick(kVersions);
        Game g;
        g.web = QStringLiteral("http://www.%1%2.example").arg(family.second).arg(100 + draw(kGameNumbers));
        if (taken.contains(g.web))
            continue;
        taken.insert(g.web);
        g.name = family.first + version + pick(kStyles);
        g.ip = QStringLiteral("%1.%2.%3.%4")
                   .arg(27 + draw(190))
                   .arg(draw(256))
                   .arg(draw(256))
                   .arg(1 + draw(254));
        games.append(g);
        gameWebList.append(g.web);
    }
}

int DemoData::draw(int bound)
{
    // Plain modulo keeps the sequence the same on every standard library.
    return bound <= 1 ? 0 : int(rng() % unsigned(bound));
}

QList<SiteRecord> DemoData::sites() const
{
    QList<SiteRecord> out;
    const qint64 base = QDateTime(today, QTime(8, 0)).toSecsSinceEpoch();
    int n = 0;
    for (const SiteName &s : kSites) {
        SiteRecord r;
        r.name = QString::fromUtf8(s.name);
        r.domain = QStringLiteral("www.%1.example").arg(QLatin1String(s.host));
        r.urls = {QStringLiteral("http://www.%1.example/").arg(QLatin1String(s.host)),
                  QStringLiteral("http://fb.%1.example/").arg(QLatin1String(s.host))};
        if (n % 3 == 0)
            r.urls.append(QStringLiteral("http://new.%1.example/kaifu.html").arg(QLatin1String(s.host)));
        r.startType = 1;
        r.updateTime = base + 97 * n;
        r.sizeReal = 0;
        out.append(r);
        ++n;
    }
    return out;
}

AdRecord DemoData::makeAd(const Game &game)
{
    AdRecord ad;
    ad.gameWeb = game.web;
    ad.site = QString::fromUtf8(kSites[draw(int(std::size(kSites)))].name);
    ad.adName = game.name + pick(kAreas);
    ad.ip = game.ip;
    ad.openDay = today.addDays(draw(10));
    static const QStringList marks = timeMarks();
    ad.openSlot = draw(12) == 0 ? pick(kAllDayMarks) : pick(marks);
    QStringList notes;
    const int count = 2 + draw(3);
    while (notes.size() < count) {
        const QString note = pick(kNotes);
        if (!notes.contains(note))
            notes.append(note);
    }
    ad.otherInfo = notes.join(QLatin1Char(' '));
    ad.adCount = 1;
    return ad;
}

const DemoData::Game *DemoData::game(const QString &web) const
{
    for (const Game &g : games) {
        if (g.web == web)
            return &g;
    }
    return nullptr;
}

QList<AdRecord> DemoData::ads(int perGame)
{
    QList<AdRecord> out;
    for (const Game &g : games) {
        const int count = std::max(1, perGame / 2 + draw(perGame + 1));
        for (int i = 0; i < count; ++i)
            out.append(makeAd(g));
    }
    std::stable_sort(out.begin(), out.end(), [](const AdRecord &a, const AdRecord &b) {
        return std::tie(a.openDay, a.openSlot) < std::tie(b.openDay, b.openSlot);
    });
    return out;
}

bool DemoData::writeAds(AdStore &store, int count)
{
    constexpr int kBatch = 20000;
    int made = 0;
    return store.loadAds([&] {
        QList<AdRecord> batch;
        batch.reserve(std::min(kBatch, count - made));
        for (; made < count && batch.size() < kBatch; ++made)
            batch.append(makeAd(games[made % games.size()]));
        return batch;
    });
}

QList<ForwardRecord> DemoData::forwards(int count)
{
    QList<ForwardRecord> out;
    const QDateTime base(today, QTime(0, 0));
    // Every game address has its share, so a redirect search for any of them finds some.
    for (int i = 0; i < count; ++i) {
        const Game &from = games[i % games.size()];
        const Game &to = pick(games);
        ForwardRecord r;
        r.mainUrl = from.web + QStringLiteral("/");
        r.mainDomain = AdStore::domainOf(from.web);
        r.forwardUrl = to.web + QStringLiteral("/index.html");
        r.forwardDomain = AdStore::domainOf(to.web);
        r.updateTime = base.addSecs(-draw(30 * 86400)).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        out.append(r);
    }
    return out;
}

QList<HistoryRecord> DemoData::history(int count)
{
    QList<HistoryRecord> out;
    for (int i = 0; i < count; ++i) {
        AdRecord ad = makeAd(games[i % games.size()]);
        ad.openDay = today.addDays(-1 - draw(60));
        out.append(
            HistoryRecord{ad.gameWeb, AdStore::domainOf(ad.gameWeb), ad.site, ad.openTime(), 1 + draw(5)});
    }
    return out;
}

QList<AdRecord> DemoData::changed(const QString &gameWeb, const QList<AdRecord> &current)
{
    QList<AdRecord> out = current;
    if (!out.isEmpty() && draw(3) > 0)
        out.removeAt(draw(int(out.size())));
    if (!out.isEmpty() && draw(2) == 0) {
        AdRecord &moved = out[draw(int(out.size()))];
        moved.openSlot = pick(timeMarks());
    }
    const Game *g = game(gameWeb);
    Game fallback{gameWeb, QStringLiteral("新开1.76复古"), QStringLiteral("127.0.0.1")};
    const int added = 1 + draw(2);
    for (int i = 0; i < added; ++i) {
        AdRecord ad = makeAd(g ? *g : fallback);
        // Fresh ads open soon, so that addresses watching only the next three days see them too.
        ad.openDay = today.addDays(draw(3));
        out.append(ad);
    }
    // More come than go; a demo left running would otherwise pile ads up on
    // its addresses without end. Those listed first give way.
    if (out.size() > kMostAdsPerAddress)
        out.remove(0, out.size() - kMostAdsPerAddress);
    return out;
}

bool DemoData::fill(AccountStore &accounts, AdStore &store)
{
    const QList<SiteRecord> siteList = sites();
    QList<AdRecord> adList = ads(10);

    // Five addresses with ads, each reminder code among them, the last one
    // watching only the next three days on two sites.
    QList<MonitoredAddress> watched;
    const QStringList codes = {QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2"),
                               QStringLiteral("4"), QStringLiteral("1")};
    for (int i = 0; i < 5; ++i) {
        const Game &g = games[i * 7 % games.size()];
        MonitoredAddress a;
        a.url = g.web;
        a.remindType = codes[i];
        a.remark = g.name;
        a.publishing = QStringLiteral("1");
        a.jinminhou = 0;
        if (i == 4) {
            a.jinminhou = 1;
            a.publishing = siteList[0].name + QLatin1Char('~') + siteList[1].name;
            for (int k = 0; k < 2; ++k) {
                AdRecord ad = makeAd(g);
                ad.site = siteList[k].name;
                ad.openDay = today.addDays(k);
                adList.append(ad);
            }
        }
        watched.append(a);
    }

    if (!store.clear() || !store.replaceSites(siteList) || !store.addAds(adList) ||
        !store.addForwards(forwards(int(games.size()) * 2)) ||
        !store.addHistory(history(int(games.size()) * 6)))
        return false;

    AccountRecord demo;
    demo.user = kUser;
    demo.password = kPassword;
    demo.qq = QStringLiteral("10086123");
    demo.mailbox = QStringLiteral("10086123@qq.com");
    demo.notice = QStringLiteral("演示账号：广告每隔一段时间会自动变化，留意右下角的提醒。");
    demo.linkUrl = QStringLiteral("/");
    demo.pageUrl = QStringLiteral("/banner.html");
    demo.created = QDateTime(today.addDays(-30), QTime(12, 0)).toSecsSinceEpoch();
    const qint64 id = accounts.save(demo);
    if (id == 0 || !accounts.replaceAddresses(id, watched))
        return false;
    ServiceLog::line(QStringLiteral("demo: %1 sites, %2 ads over %3 game addresses; log in as %4 / %5")
                         .arg(siteList.size())
                         .arg(store.adCount())
                         .arg(gameWebList.size())
                         .arg(kUser, kPassword));
    return true;
}
