#pragma once

#include <vector>

#include <QString>

#include "records/CtrlData.h"

namespace Proto {
class OneAdInfo;
class OneAdInfoCount;
class HisAdInfo;
class ForwardInfo;
class AdvertisingWebInfo;
} // namespace Proto

// Client-side records of what the data server reports. Every member is a
// display text already; records are built once from a message and then only
// copied, stored and shown. A field missing from the message leaves its text
// empty (and its number 0).

// One advertisement of a game server on a publishing site.
struct OneAdData {
    QString strGameWeb;
    QString strAdvertisingWeb;
    QString strAdName;
    QString strIp;
    QString strOpenTime;
    QString strOtherInfo;

    static OneAdData fromProto(const Proto::OneAdInfo &info);
    bool operator==(const OneAdData &) const = default;
};

// How many ads one publishing site has for one opening time.
struct OneAdDataCount {
    QString strAdvertisingWeb;
    QString strOpenTime;
    int iCount = 0;
    QString strCount;

    static OneAdDataCount fromProto(const Proto::OneAdInfoCount &info);
};

// One historical ad.
struct HisAdData {
    QString strGameWeb;
    QString strGameWebDomain;
    QString strAdvertisingWeb;
    QString strOpenTime;
    QString strAdCount;
    int iAdCount = 0;

    static HisAdData fromProto(const Proto::HisAdInfo &info);
};

// One redirect between two web addresses.
struct ForwardData {
    QString MainUrl;
    QString MainDomain;
    QString ForwardUrl;
    QString ForwardDomain;
    QString UpdateTime;

    static ForwardData fromProto(const Proto::ForwardInfo &info);
};

// One publishing site of the catalogue.
struct AdvertisingWebData {
    QString strWebMain;
    QString strWebUrls; // the site's addresses joined with ';'
    QString strUpdateTime;
    QString strAdCount;
    QString strDomain;

    static AdvertisingWebData fromProto(const Proto::AdvertisingWebInfo &info);
};

// Seconds since 1970-01-01 UTC shown in local time as 2018-03-26 10:30:05.
// Every 32-bit value has a date (1901 to 2038), so no value is refused.
QString formatLocalTime(qint32 secondsSinceEpoch);

// Addresses of the first catalogue entry whose name equals `name` exactly
// (ordinal, case-sensitive); empty when there is none.
QString LookupSiteAddress(const std::vector<AdvertisingWebData> &sites, const QString &name);

// Which member each list column shows, column 0 first.
inline const std::vector<CtrlData<OneAdData>::Column> OneAdDataColumns = {
    &OneAdData::strAdvertisingWeb, &OneAdData::strGameWeb,   &OneAdData::strAdName, &OneAdData::strIp,
    &OneAdData::strOpenTime,       &OneAdData::strOtherInfo,
};
inline const std::vector<CtrlData<OneAdDataCount>::Column> OneAdDataCountColumns = {
    &OneAdDataCount::strAdvertisingWeb,
    &OneAdDataCount::strOpenTime,
    &OneAdDataCount::strCount,
};
inline const std::vector<CtrlData<HisAdData>::Column> HisAdDataColumns = {
    &HisAdData::strGameWeb,  &HisAdData::strGameWebDomain, &HisAdData::strAdvertisingWeb,
    &HisAdData::strOpenTime, &HisAdData::strAdCount,
};
inline const std::vector<CtrlData<ForwardData>::Column> ForwardDataColumns = {
    &ForwardData::MainUrl,       &ForwardData::MainDomain, &ForwardData::ForwardUrl,
    &ForwardData::ForwardDomain, &ForwardData::UpdateTime,
};
inline const std::vector<CtrlData<AdvertisingWebData>::Column> AdvertisingWebDataColumns = {
    &AdvertisingWebData::strWebMain,
    &AdvertisingWebData::strWebUrls,
    &AdvertisingWebData::strUpdateTime,
    &AdvertisingWebData::strAdCount,
};
