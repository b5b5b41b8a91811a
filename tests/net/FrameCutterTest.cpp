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

TEST(FrameCutter, BufferGrownForALargeFrameIsGivenBackAfterIt)
{
    FrameCutter cutter;
    const std::string large = frameBytes(11, std::string(3 << 20, 'q'));
    // The large frame with the header of a second large one: that one is
    // still to come, so the room stays.
    std::string next = frameBytes(11, std::string(2 << 20, 'r'));
    Cut cut = feed(cutter, large + next.substr(0, 12));
    ASSERT_EQ(cut.frames.size(), 1u);
    EXPECT_GE(cutter.allocated(), next.size());
    cut = feed(cutter, next.substr(12) + frameBytes(3, ""));
    ASSERT_EQ(cut.frames.size(), 2u);
    EXPECT_EQ(cut.frames[0].second.size(), next.size() - 12);
    EXPECT_EQ(cutter.held(), 0u);
    EXPECT_LE(cutter.allocated(), 1u << 17);
    // And it still takes frames of every size afterwards.
    cut = feed(cutter, frameBytes(12, "after") + large);
    ASSERT_EQ(cut.frames.size(), 2u);
    EXPECT_EQ(cut.frames[0].second, "after");
}

TEST(FrameCutter, LowerLengthLimitAppliesFromTheNextHeader)
{
    FrameCutter cutter;
    cutter.setMaxFrameLength(100);
    const std::string atLimit = frameBytes(9, std::string(100 - 12, 'a'));
    const std::string overLimit = frameBytes(12, std::string(101 - 12, 'b'));
    Cut cut = feed(cutter, atLimit + overLimit);
    EXPECT_EQ(cut.status, FrameCutter::Status::FrameTooLarge);
    EXPECT_EQ(cut.frames.size(), 1u);
    EXPECT_EQ(cutter.badLength(), 101);

    // Raised by the handler of a frame, the limit already covers the frame after it.
    FrameCutter raised;
    raised.setMaxFrameLength(100);
    raised.append(atLimit.data(), atLimit.size());
    raised.append(overLimit.data(), overLimit.size());
    std::vector<int> lengths;
    const FrameCutter::Status status = raised.cut([&](const char *, int length) {
        lengths.push_back(length);
        raised.setMaxFrameLength(kMaxFrameLength);
    });
    EXPECT_EQ(status, FrameCutter::Status::Ok);
    EXPECT_EQ(lengths, (std::vector<int>{100, 101}));
}

TEST(FrameCutter, AtMostTheAskedNumberOfFramesPerCut)
{
    FrameCutter cutter;
    std::string bytes;
    for (int i = 0; i < 5; ++i)
        bytes += frameBytes(20, std::string(1, char('0' + i)));
    cutter.append(bytes.data(), bytes.size());
    std::string order;
    std::vector<size_t> perCut;
    for (int round = 0; round < 4; ++round) {
        size_t n = 0;
        EXPECT_EQ(cutter.cut([&](const char *frame, int) { order += frame[12], ++n; }, 2),
                  FrameCutter::Status::Ok);
        perCut.push_back(n);
    }
    EXPECT_EQ(perCut, (std::vector<size_t>{2, 2, 1, 0}));
    EXPECT_EQ(order, "01234");
    EXPECT_EQ(cutter.held(), 0u);
}

} // namespace
