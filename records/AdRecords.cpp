#include "records/AdRecords.h"

#include <string>

#include <QDateTime>
#include <QStringList>

#include "net/message.pb.h"

namespace {

// Message strings are UTF-8; malformed bytes become replacement characters.
QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// An absent field leaves the member as it was built: empty.
void take(bool present, const std::string &field, QString &member)
{
    if (present)
        member = fromUtf8(field);
}

} // namespace

OneAdData OneAdData::fromProto(const Proto::OneAdInfo &info)
{
    OneAdData data;
    take(info.has_strgameweb(), info.strgameweb(), data.strGameWeb);
    take(info.has_stradvertisingweb(), info.stradvertisingweb(), data.strAdvertisingWeb);
    take(info.has_stradname(), info.stradname(), data.strAdName);
    take(info.has_strip(), info.strip(), data.strIp);
    take(info.has_stropentime(), info.stropentime(), data.strOpenTime);
    take(info.has_strotherinfo(), info.strotherinfo(), data.strOtherInfo);
    return data;
}

OneAdDataCount OneAdDataCount::fromProto(const Proto::OneAdInfoCount &info)
{
    OneAdDataCount data;
    take(info.has_stradvertisingweb(), info.stradvertisingweb(), data.strAdvertisingWeb);
    take(info.has_stropentime(), info.stropentime(), data.strOpenTime);
    if (info.has_icount()) {
        data.iCount = info.icount();
        data.strCount = QString::number(data.iCount);
    }
    return data;
}

HisAdData HisAdData::fromProto(const Proto::HisAdInfo &info)
{
    HisAdData data;
    take(info.has_strgameweb(), info.strgameweb(), data.strGameWeb);
    take(info.has_strgamewebdomain(), info.strgamewebdomain(), data.strGameWebDomain);
    take(info.has_stradvertisingweb(), info.stradvertisingweb(), data.strAdvertisingWeb);
    take(info.has_stropentime(), info.stropentime(), data.strOpenTime);
    if (info.has_iadcount()) {
        data.iAdCount = info.iadcount();
        data.strAdCount = QString::number(data.iAdCount);
    }
    return data;
}

ForwardData ForwardData::fromProto(const Proto::ForwardInfo &info)
{
    ForwardData data;
    take(info.has_mainurl(), info.mainurl(), data.MainUrl);
    take(info.has_maindomain(), info.maindomain(), data.MainDomain);
    take(info.has_forwardurl(), info.forwardurl(), data.ForwardUrl);
    take(info.has_forwarddomain(), info.forwarddomain(), data.ForwardDomain);
    take(info.has_updatetime(), info.updatetime(), data.UpdateTime);
    return data;
}

AdvertisingWebData AdvertisingWebData::fromProto(const Proto::AdvertisingWebInfo &info)
{
    AdvertisingWebData data;
    take(info.has_strwebmain(), info.strwebmain(), data.strWebMain);
    QStringList urls;
    urls.reserve(info.hweburldetai_size());
    for (const std::string &url : info.hweburldetai())
        urls.append(fromUtf8(url));
    data.strWebUrls = urls.join(u';');
    // The catalogue always shows both numbers; an absent one reads as 0.
    data.strUpdateTime = formatLocalTime(info.iupdatetime());
    data.strAdCount = QString::number(info.iadcount());
    take(info.has_strdomain(), info.strdomain(), data.strDomain);
    return data;
}

QString formatLocalTime(qint32 secondsSinceEpoch)
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
        if (compareOrdinal(site.strWebMain, name) == 0)
            return site.strWebUrls;
    }
    return QString();
}
