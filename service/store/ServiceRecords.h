#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// Plain rows of the service's tables.

struct AccountRecord {
    qint64 id = 0;
    QString user;
    QString password;
    QString qq;
    QString mailbox;
    QString notice;
    // A value starting with "/" names a page of this service; the reply turns
    // it into a full address on the host the client asked.
    QString linkUrl;
    QString pageUrl;
    qint64 created = 0;
};

struct MonitoredAddress {
    QString url;
    QString remindType;
    QString remark;
    QString publishing; // site-list value: "1" for every site, else names joined with "~"
    int jinminhou = 0;  // 1: only ads opening today, tomorrow or the day after
};

struct SiteRecord {
    QString name;
    QString domain;
    QStringList urls;
    int startType = 0;
    qint64 updateTime = 0;
    int sizeReal = 0;
    int adCount = 0; // filled when read back: ads held for the site
    QString extInfo;
};

struct AdRecord {
    QString gameWeb;
    QString site;
    QString adName;
    QString ip;
    QDate openDay;
    QString openSlot; // "07:00" .. "23:30", or "全天固顶", "通宵", "通宵固顶"
    QString otherInfo;
    int adCount = 1;

    // The opening time as the ads show it, e.g. "12月10日/19:30".
    QString openTime() const;
    // What a key term is looked for in, lower-cased.
    QString searchText() const;
};

struct ForwardRecord {
    QString mainUrl;
    QString mainDomain;
    QString forwardUrl;
    QString forwardDomain;
    QString updateTime;
};

struct HistoryRecord {
    QString gameWeb;
    QString gameDomain;
    QString site;
    QString openTime;
    int adCount = 1;
};
