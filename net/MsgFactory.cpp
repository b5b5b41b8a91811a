#include "net/MsgFactory.h"

#include <new>
#include <vector>

std::map<int, MsgFactory::Creator> &MsgFactory::table()
{
    static std::map<int, Creator> creators;
    return creators;
}

std::vector<int> &MsgFactory::order()
{
    static std::vector<int> ids;
    return ids;
}

void MsgFactory::Register(int type, Creator creator)
{
    if (table().emplace(type, creator).second)
        order().push_back(type);
}

MsgHeader *MsgFactory::Create(int type)
{
    const auto &creators = table();
    const auto it = creators.find(type);
    return it == creators.end() ? nullptr : it->second();
}

const std::vector<int> &MsgFactory::registrationOrder()
{
    return order();
}

namespace {

template <class T> MsgHeader *make()
{
    return new (std::nothrow) T;
}

// Runs before main; the order of the rows is fixed.
const bool registered = [] {
    MsgFactory::Register(kMsgConnected, make<MsgConnected>);
    MsgFactory::Register(kMsgDisconnect, make<MsgDisconnect>);
    MsgFactory::Register(kMsgUserLoginReq, make<MsgUserLoginReq>);
    MsgFactory::Register(kMsgUserLoginAck, make<MsgUserLoginAck>);
    MsgFactory::Register(kMsgUserAdsChangeNtf, make<MsgUserAdsChangeNtf>);
    MsgFactory::Register(kMsgUserSearchAdsReq, make<MsgUserSearchAdsReq>);
    MsgFactory::Register(kMsgUserSearchAdsAck, make<MsgUserSearchAdsAck>);
    MsgFactory::Register(kMsgGetAdvertisingWebInfoReq, make<MsgGetAdvertisingWebInfoReq>);
    MsgFactory::Register(kMsgGetAdvertisingWebInfoNtf, make<MsgGetAdvertisingWebInfoNtf>);
    MsgFactory::Register(kMsgGetAdvertisingWebInfoAck, make<MsgGetAdvertisingWebInfoAck>);
    MsgFactory::Register(kMsgAllHeartBeatNtf, make<MsgAllHeartBeatNtf>);
    MsgFactory::Register(kMsgUserSearchForwardReq, make<MsgUserSearchForwardReq>);
    MsgFactory::Register(kMsgUserSearchForwardAck, make<MsgUserSearchForwardAck>);
    MsgFactory::Register(kMsgUserSearchHisReq, make<MsgUserSearchHisReq>);
    MsgFactory::Register(kMsgUserSearchHisAck, make<MsgUserSearchHisAck>);
    return true;
}();

} // namespace
