#pragma once

#include <QByteArray>
#include <QString>

#include <string>

#include "net/MsgHeader.h"

struct AdRecord;
struct ForwardRecord;
struct HistoryRecord;
struct SiteRecord;
struct SiteTimeCount;

// The data server's records as protobuf messages, and frames in and out.
// Texts travel as UTF-8.
namespace DataMessages {

std::string utf8(const QString &text);
QString fromUtf8(const std::string &text);

// Reads the body of a whole frame (header included) into msg.
template <class Msg> bool parseBody(Msg &msg, const char *frame, int length)
{
    return msg.body.ParsePartialFromArray(frame + kFrameHeaderSize, length - kFrameHeaderSize);
}

void fillAd(Proto::OneAdInfo *info, const QString &gameWeb, const AdRecord &ad);
void fillSite(Proto::AdvertisingWebInfo *info, const SiteRecord &site);
void fillAdCount(Proto::OneAdInfoCount *info, const SiteTimeCount &count);
void fillForward(Proto::ForwardInfo *info, const ForwardRecord &forward);
void fillHistory(Proto::HisAdInfo *info, const HistoryRecord &history);

} // namespace DataMessages

// Encodes a message into one frame.
QByteArray encodeFrame(MsgHeader &msg);
