#pragma once

#include <cstdint>
#include <memory>

#include <google/protobuf/arena.h>

#include "net/message.pb.h"

namespace google::protobuf {
class Message;
}

// Message type ids on the wire. Appended to, never reordered.
enum MsgType : int32_t {
    kMsgConnected = 1,
    kMsgDisconnect = 2,
    kMsgAllHeartBeatNtf = 3,
    kMsgUserLoginReq = 9,
    kMsgUserLoginAck = 10,
    kMsgUserAdsChangeNtf = 11,
    kMsgUserSearchAdsReq = 12,
    kMsgUserSearchAdsAck = 13,
    kMsgGetAdvertisingWebInfoReq = 14,
    kMsgGetAdvertisingWebInfoNtf = 15,
    kMsgGetAdvertisingWebInfoAck = 16,
    kMsgUserSearchForwardReq = 18,
    kMsgUserSearchForwardAck = 19,
    kMsgUserSearchHisReq = 20,
    kMsgUserSearchHisAck = 21,
};

// Every frame starts with three little-endian int32: length (header included),
// type and a reserved word.
constexpr int kFrameHeaderSize = 12;
// Largest frame the receiver accepts.
constexpr int kMaxFrameLength = 300 * 65536;

int32_t readLe32(const char *p);
void writeLe32(char *p, int32_t value);

// A frame header paired with its typed body. Derived classes hold exactly one
// body message by value.
class MsgHeader {
public:
    MsgHeader() = default;
    explicit MsgHeader(int32_t msgType) : type(msgType) {}
    virtual ~MsgHeader() = default;
    MsgHeader(const MsgHeader &) = default;
    MsgHeader &operator=(const MsgHeader &) = default;

    virtual google::protobuf::Message *GetBody() { return nullptr; }

    // Writes the frame at buffer (at most capacity bytes) and returns its
    // length, or 0 when the frame does not fit.
    int Encode(char *buffer, int capacity);
    // Fills this message from the frame at frame; frameLength is the header's
    // length field. The body is parsed partially: fields read before an error
    // stay set.
    void Decode(const char *frame, int frameLength);

    int32_t length = kFrameHeaderSize;
    int32_t type = 0;
    int32_t reserved = 0;
};

template <int32_t TypeId, class Body> class MsgWithBody : public MsgHeader {
public:
    static constexpr int32_t kType = TypeId;
    using BodyType = Body;
    MsgWithBody() : MsgHeader(TypeId) {}
    google::protobuf::Message *GetBody() override { return &body; }
    Body body;
};

// For a message that can carry a hundred thousand ads: its body lives on an
// arena the message owns, so parsing allocates a few blocks instead of a
// string per field, and freeing it is one step (together three times faster
// than a body of its own).
template <int32_t TypeId, class Body> class MsgWithArenaBody : public MsgHeader {
public:
    static constexpr int32_t kType = TypeId;
    using BodyType = Body;
    MsgWithArenaBody()
        : MsgHeader(TypeId), arena(std::make_unique<google::protobuf::Arena>(arenaOptions())),
          body(*google::protobuf::Arena::CreateMessage<Body>(arena.get()))
    {
    }
    MsgWithArenaBody(const MsgWithArenaBody &other) : MsgWithArenaBody() { *this = other; }
    MsgWithArenaBody &operator=(const MsgWithArenaBody &other)
    {
        MsgHeader::operator=(other);
        body.CopyFrom(other.body);
        return *this;
    }
    google::protobuf::Message *GetBody() override { return &body; }

private:
    static google::protobuf::ArenaOptions arenaOptions()
    {
        google::protobuf::ArenaOptions options;
        options.start_block_size = 4096;
        options.max_block_size = 1 << 20;
        return options;
    }
    std::unique_ptr<google::protobuf::Arena> arena; // before body: made first, gone last

public:
    Body &body;
};

template <int32_t TypeId> class MsgHeaderOnly : public MsgHeader {
public:
    static constexpr int32_t kType = TypeId;
    MsgHeaderOnly() : MsgHeader(TypeId) {}
};

using MsgConnected = MsgWithBody<kMsgConnected, Proto::Connected>;
using MsgDisconnect = MsgHeaderOnly<kMsgDisconnect>;
using MsgAllHeartBeatNtf = MsgWithBody<kMsgAllHeartBeatNtf, Proto::AllHeartBeatNtf>;
using MsgUserLoginReq = MsgWithBody<kMsgUserLoginReq, Proto::UserLoginReq>;
using MsgUserLoginAck = MsgWithBody<kMsgUserLoginAck, Proto::UserLoginAck>;
using MsgUserAdsChangeNtf = MsgWithArenaBody<kMsgUserAdsChangeNtf, Proto::UserAdsChangeNtf>;
using MsgUserSearchAdsReq = MsgWithBody<kMsgUserSearchAdsReq, Proto::UserSearchAdsReq>;
using MsgUserSearchAdsAck = MsgWithBody<kMsgUserSearchAdsAck, Proto::UserSearchAdsAck>;
using MsgGetAdvertisingWebInfoReq = MsgHeaderOnly<kMsgGetAdvertisingWebInfoReq>;
using MsgGetAdvertisingWebInfoNtf =
    MsgWithBody<kMsgGetAdvertisingWebInfoNtf, Proto::GetAdvertisingWebInfoNtf>;
using MsgGetAdvertisingWebInfoAck =
    MsgWithBody<kMsgGetAdvertisingWebInfoAck, Proto::GetAdvertisingWebInfoAck>;
using MsgUserSearchForwardReq = MsgWithBody<kMsgUserSearchForwardReq, Proto::UserSearchForwardReq>;
using MsgUserSearchForwardAck = MsgWithBody<kMsgUserSearchForwardAck, Proto::UserSearchForwardAck>;
using MsgUserSearchHisReq = MsgWithBody<kMsgUserSearchHisReq, Proto::UserSearchHisReq>;
using MsgUserSearchHisAck = MsgWithBody<kMsgUserSearchHisAck, Proto::UserSearchHisAck>;
