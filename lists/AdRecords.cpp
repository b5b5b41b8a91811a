#include "lists/AdRecords.h"

#include <string>

#include <QDateTime>
#include <QStringList>

#include "message.pb.h"

namespace {

// Message strings are UTF-8; malformed bytes become replacement characters.
QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

OneAdData OneAdData::fromProto(const Proto::OneAdInfo &info)
{
    OneAdData data;
    if (info.has_strgameweb())
        data.strGameWeb = fromUtf8(info.strgameweb());
    if (info.has_stradvertisingweb())
        data.strAdvertisingWeb = fromUtf8(info.stradvertisingweb());
    if (info.has_stradname())
        data.strAdName = fromUtf8(info.stradname());
    if (info.has_strip())
        data.strIp = fromUtf8(info.strip());
    if (info.has_stropentime())
        data.strOpenTime = fromUtf8(info.stropentime());
    if (info.has_strotherinfo())
        data.strOtherInfo = fromUtf8(info.strotherinfo());
    return data;
}

OneAdDataCount OneAdDataCount::fromProto(const Proto::OneAdInfoCount &info)
{
    OneAdDataCount data;
    if (info.has_stradvertisingweb())
        data.strAdvertisingWeb = fromUtf8(info.stradvertisingweb());
    if (info.has_stropentime())
        data.strOpenTime = fromUtf8(info.stropentime());
    if (info.has_icount()) {
        data.iCount = info.icount();
        data.strCount = QString::number(data.iCount);
    }
    return data;
}

HisAdData HisAdData::fromProto(const Proto::HisAdInfo &info)
{
    HisAdData data;
    if (info.has_strgameweb())
        data.strGameWeb = fromUtf8(info.strgameweb());
    if (info.has_strgamewebdomain())
        data.strGameWebDomain = fromUtf8(info.strgamewebdomain());
    if (info.has_stradvertisingweb())
        data.strAdvertisingWeb = fromUtf8(info.stradvertisingweb());
    if (info.has_stropentime())
        data.strOpenTime = fromUtf8(info.stropentime());
    if (info.has_iadcount()) {
        data.iAdCount = info.iadcount();
        data.strAdCount = QString::number(data.iAdCount);
    }
    return data;
}

ForwardData ForwardData::fromProto(const Proto::ForwardInfo &info)
{
    ForwardData data;
    if (info.has_mainurl())
        data.MainUrl = fromUtf8(info.mainurl());
    if (info.has_maindomain())
        data.MainDomain = fromUtf8(info.maindomain());
    if (info.has_forwardurl())
        data.ForwardUrl = fromUtf8(info.forwardurl());
    if (info.has_forwarddomain())
        data.ForwardDomain = fromUtf8(info.forwarddomain());
    if (info.has_updatetime())
        data.UpdateTime = fromUtf8(info.updatetime());
    return data;
}

AdvertisingWebData AdvertisingWebData::fromProto(const Proto::AdvertisingWebInfo &info)
{
    AdvertisingWebData data;
    if (info.has_strwebmain())
        data.strWebMain = fromUtf8(info.strwebmain());
    QStringList urls;
    urls.reserve(info.hweburldetai_size());
    for (const std::string &url : info.hweburldetai())
        urls.append(fromUtf8(url));
    data.strWebUrls = urls.join(u';');
    // The catalogue always shows both numbers; an absent one reads as 0.
    data.strUpdateTime = FormatLocalTime(info.iupdatetime());
    data.strAdCount = QString::number(info.iadcount());
    if (info.has_strdomain())
        data.strDomain = fromUtf8(info.strdomain());
    return data;
}

QString FormatLocalTime(qint32 secondsSinceEpoch)
{
    QDateTime time = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::LocalTime);
    if (!time.isValid()) // no local rule for the instant: show the universal time rather than nothing
        time = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC);
    const QDate date = time.date();
    const QTime clock = time.time();
    return QString::asprintf("%d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                             clock.hour(), clock.minute(), clock.second());
}

QString LookupSiteAddress(const std::vector<AdvertisingWebData> &sites, const QString &name)
{
    for (const AdvertisingWebData &site : sites) {
        if (CompareOrdinal(site.strWebMain, name) == 0)
            return site.strWebUrls;
    }
    return QString();
}
