#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/MsgFactory.h"
#include "net/MsgHeader.h"

namespace {

std::vector<unsigned char> encode(MsgHeader &msg, int capacity = 1024)
{
    std::vector<char> buffer(size_t(capacity), '\x55');
    const int n = msg.Encode(buffer.data(), capacity);
    return {buffer.begin(), buffer.begin() + n};
}

using Bytes = std::vector<unsigned char>;

TEST(MessageEncoding, HeaderOnlyAndEmptyBodiesAreTwelveBytes)
{
    MsgGetAdvertisingWebInfoReq req;
    EXPECT_EQ(encode(req), (Bytes{0x0C, 0, 0, 0, 0x0E, 0, 0, 0, 0, 0, 0, 0}));
    MsgAllHeartBeatNtf beat;
    EXPECT_EQ(encode(beat), (Bytes{0x0C, 0, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(beat.length, 12);
}

TEST(MessageEncoding, HistorySearchRequestIsNineteenBytes)
{
    MsgUserSearchHisReq req;
    req.body.set_key("abc");
    req.body.set_index(1);
    EXPECT_EQ(encode(req),
              (Bytes{0x13, 0, 0, 0, 0x14, 0, 0, 0, 0, 0, 0, 0, 0x0A, 0x03, 'a', 'b', 'c', 0x10, 0x01}));
    EXPECT_EQ(req.length, 19);
}

TEST(MessageEncoding, UnsetRequiredFieldsAreAbsent)
{
    MsgUserSearchAdsReq req;
    req.body.set_key("k");
    req.body.set_index(1);
    req.body.set_adweb("1");
    const Bytes frame = encode(req);
    // Fields 1, 4 and 5 only, in that order: tags 0x0A, 0x20, 0x2A.
    EXPECT_EQ(Bytes(frame.begin() + 12, frame.end()), (Bytes{0x0A, 1, 'k', 0x20, 1, 0x2A, 1, '1'}));
}

TEST(MessageEncoding, FrameThatDoesNotFitIsRefused)
{
    MsgUserSearchHisReq req;
    req.body.set_key(std::string(100, 'x'));
    std::vector<char> buffer(64, '\0');
    EXPECT_EQ(req.Encode(buffer.data(), 64), 0);
    EXPECT_EQ(req.Encode(buffer.data(), 11), 0);
    MsgDisconnect bare;
    EXPECT_EQ(bare.Encode(buffer.data(), 12), 12);
}

TEST(MessageDecoding, ReadsOnlyItsOwnFrameAndKeepsReserved)
{
    std::vector<char> stream = {0x13, 0, 0,    0,    0x14, 0,   0,   0,    7,   0,
                                0,    0, 0x0A, 0x03, 'a',  'b', 'c', 0x10, 0x01};
    // A second frame right behind; its bytes must not leak into the first.
    const std::vector<char> tail = {0x0A, 0x01, 'z', 0x10, 0x05};
    stream.insert(stream.end(), tail.begin(), tail.end());
    MsgUserSearchHisReq msg;
    msg.Decode(stream.data(), 19);
    EXPECT_EQ(msg.length, 19);
    EXPECT_EQ(msg.type, 20);
    EXPECT_EQ(msg.reserved, 7);
    EXPECT_EQ(msg.body.key(), "abc");
    EXPECT_EQ(msg.body.index(), 1);
}

TEST(MessageDecoding, MissingAndMalformedFieldsDecodePartially)
{
    // A login answer with Code 0 and no Info.
    const std::vector<char> ack = {14, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x00};
    MsgUserLoginAck login;
    login.Decode(ack.data(), int(ack.size()));
    EXPECT_TRUE(login.body.has_code());
    EXPECT_EQ(login.body.code(), 0);
    EXPECT_FALSE(login.body.has_info());

    // Ext is read, then a string claims more bytes than there are.
    const std::vector<char> broken = {19, 0, 0,    0,    11,  0,    0,    0,   0,  0,
                                      0,  0, 0x12, 0x01, 'x', 0x0A, 0x7F, 'a', 'b'};
    MsgUserAdsChangeNtf ntf;
    ntf.Decode(broken.data(), int(broken.size()));
    EXPECT_EQ(ntf.body.ext(), "x");
}

TEST(MessageFactory, CreatesEveryRegisteredTypeInOrder)
{
    const std::vector<int> expected = {1, 2, 9, 10, 11, 12, 13, 14, 15, 16, 3, 18, 19, 20, 21};
    EXPECT_EQ(MsgFactory::registrationOrder(), expected);
    for (int type : expected) {
        auto msg = MsgFactory::createOwned(type);
        ASSERT_TRUE(msg) << type;
        EXPECT_EQ(msg->type, type);
        EXPECT_EQ(msg->length, 12);
        EXPECT_EQ(msg->reserved, 0);
        EXPECT_EQ(msg->GetBody() == nullptr, type == 2 || type == 14) << type;
    }
    for (int type : {0, -1, 4, 8, 17, 22, 1000})
        EXPECT_EQ(MsgFactory::createOwned(type), nullptr) << type;
}

} // namespace
