#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/FrameCutter.h"
#include "tests/support/LoopbackPeer.h"
#include "net/MsgHeader.h"

namespace {

struct Cut {
    std::vector<std::pair<int, std::string>> frames; // type, body
    FrameCutter::Status status = FrameCutter::Status::Ok;
};

Cut feed(FrameCutter &cutter, const std::string &bytes)
{
    cutter.append(bytes.data(), bytes.size());
    Cut out;
    out.status = cutter.cut([&](const char *frame, int length) {
        out.frames.emplace_back(readLe32(frame + 4), std::string(frame + 12, size_t(length - 12)));
    });
    return out;
}

TEST(FrameCutter, TwoFramesInOneRead)
{
    FrameCutter cutter;
    const Cut cut = feed(cutter, frameBytes(10, "ab") + frameBytes(11, "cde"));
    ASSERT_EQ(cut.frames.size(), 2u);
    EXPECT_EQ(cut.frames[0], std::make_pair(10, std::string("ab")));
    EXPECT_EQ(cut.frames[1], std::make_pair(11, std::string("cde")));
    EXPECT_EQ(cutter.held(), 0u);
}

TEST(FrameCutter, FrameInThreePiecesAndShortHeaderAreHeld)
{
    FrameCutter cutter;
    const std::string f = frameBytes(13, std::string(40, 'x'));
    EXPECT_TRUE(feed(cutter, f.substr(0, 11)).frames.empty());
    EXPECT_EQ(cutter.held(), 11u);
    EXPECT_TRUE(feed(cutter, f.substr(11, 20)).frames.empty());
    EXPECT_EQ(cutter.held(), 31u);
    const Cut last = feed(cutter, f.substr(31) + frameBytes(1, "z").substr(0, 5));
    ASSERT_EQ(last.frames.size(), 1u);
    EXPECT_EQ(last.frames[0].second, std::string(40, 'x'));
    EXPECT_EQ(cutter.held(), 5u); // the next frame's first bytes, moved to the front
}

TEST(FrameCutter, BadLengthsAreRejectedAtTheHeader)
{
    struct Case {
        const char *name;
        int32_t length;
        FrameCutter::Status status;
    };
    const Case cases[] = {
        {"just over the limit", kMaxFrameLength + 1, FrameCutter::Status::FrameTooLarge},
        {"negative", -5, FrameCutter::Status::FrameTooSmall},
        {"zero", 0, FrameCutter::Status::FrameTooSmall},
        {"eleven", 11, FrameCutter::Status::FrameTooSmall},
    };
    for (const Case &c : cases) {
        FrameCutter cutter;
        std::string bad(12, '\0');
        writeLe32(bad.data(), c.length);
        writeLe32(bad.data() + 4, 11);
        const Cut cut = feed(cutter, frameBytes(10, "ok") + bad);
        EXPECT_EQ(cut.status, c.status) << c.name;
        ASSERT_EQ(cut.frames.size(), 1u) << c.name; // the good frame before it still counts
        EXPECT_EQ(cutter.badLength(), c.length) << c.name;
    }
}

TEST(FrameCutter, LargestFrameFitsAndBufferGrowsOnlyOnDemand)
{
    FrameCutter cutter;
    feed(cutter, frameBytes(3, ""));
    EXPECT_LT(cutter.allocated(), 1u << 20);
    std::string big(size_t(kMaxFrameLength), 'q');
    writeLe32(big.data(), kMaxFrameLength);
    writeLe32(big.data() + 4, 11);
    writeLe32(big.data() + 8, 0);
    const Cut cut = feed(cutter, big);
    ASSERT_EQ(cut.status, FrameCutter::Status::Ok);
    ASSERT_EQ(cut.frames.size(), 1u);
    EXPECT_EQ(cut.frames[0].second.size(), size_t(kMaxFrameLength - 12));
    cutter.clear();
    EXPECT_EQ(cutter.held(), 0u);
}

} // namespace
