#include "service/data/DataMessages.h"

#include "service/search/AdValues.h"
#include "service/store/ServiceRecords.h"

namespace DataMessages {

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

void fillAd(Proto::OneAdInfo *info, const QString &gameWeb, const AdRecord &ad)
{
    info->set_strgameweb(utf8(gameWeb));
    info->set_stradvertisingweb(utf8(ad.site));
    info->set_stradname(utf8(ad.adName));
    info->set_strip(utf8(ad.ip));
    info->set_stropentime(utf8(ad.openTime()));
    info->set_strotherinfo(utf8(ad.otherInfo));
    info->set_iadcount(ad.adCount);
}

void fillSite(Proto::AdvertisingWebInfo *info, const SiteRecord &site)
{
    info->set_strwebmain(utf8(site.name));
    info->set_strdomain(utf8(site.domain));
    for (const QString &url : site.urls)
        info->add_hweburldetai(utf8(url));
    info->set_istarttype(site.startType);
    info->set_iupdatetime(int32_t(site.updateTime));
    info->set_isizereal(site.sizeReal);
    info->set_iadcount(site.adCount);
    info->set_strextinfo(utf8(site.extInfo));
}

void fillAdCount(Proto::OneAdInfoCount *info, const SiteTimeCount &count)
{
    info->set_stradvertisingweb(utf8(count.site));
    info->set_stropentime(utf8(count.openTime));
    info->set_icount(count.count);
}

void fillForward(Proto::ForwardInfo *info, const ForwardRecord &forward)
{
    info->set_mainurl(utf8(forward.mainUrl));
    info->set_maindomain(utf8(forward.mainDomain));
    info->set_forwardurl(utf8(forward.forwardUrl));
    info->set_forwarddomain(utf8(forward.forwardDomain));
    info->set_updatetime(utf8(forward.updateTime));
}

void fillHistory(Proto::HisAdInfo *info, const HistoryRecord &history)
{
    info->set_strgameweb(utf8(history.gameWeb));
    info->set_strgamewebdomain(utf8(history.gameDomain));
    info->set_stradvertisingweb(utf8(history.site));
    info->set_stropentime(utf8(history.openTime));
    info->set_iadcount(history.adCount);
}

} // namespace DataMessages

QByteArray encodeFrame(MsgHeader &msg)
{
    const google::protobuf::Message *body = msg.GetBody();
    const size_t bodySize = body ? body->ByteSizeLong() : 0;
    QByteArray frame(qsizetype(kFrameHeaderSize + bodySize), Qt::Uninitialized);
    const int length = msg.Encode(frame.data(), int(frame.size()));
    frame.truncate(length);
    return frame;
}
