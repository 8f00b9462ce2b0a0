#include <gtest/gtest.h>

#include "base/decoder/MediaFrame.h"

using namespace lumora;

namespace {
std::vector<uint8_t> bytes(std::initializer_list<uint8_t> b) { return b; }
}  // namespace

TEST(MediaFrame, StartsEmptyAsVideoWithoutChannel) {
    MediaFrame f;
    EXPECT_TRUE(f.buffer.empty());
    EXPECT_EQ(f.frameLength, 0u);
    EXPECT_EQ(f.frameIndex, 0);
    EXPECT_EQ(f.timestamp, 0);
    EXPECT_EQ(f.channel, -1);
    EXPECT_EQ(f.keyFrame, 0);
    EXPECT_EQ(f.isVideo, 1);
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.height, 0);
    EXPECT_EQ(f.isDecoding, 0);
    EXPECT_FALSE(f.isDataReady());
}

TEST(MediaFrame, ReadinessNeedsAnnouncedLengthReached) {
    MediaFrame f;
    f.setBuffer(bytes({1, 2, 3}));
    EXPECT_FALSE(f.isDataReady()) << "nothing announced: never ready";
    f.frameLength = 4;
    EXPECT_FALSE(f.isDataReady());
    f.appendData(bytes({4}));
    EXPECT_TRUE(f.isDataReady());
    f.appendData(bytes({5}));
    EXPECT_FALSE(f.isDataReady()) << "past the announced length";

    MediaFrame fromData(bytes({9, 8}));
    EXPECT_EQ(fromData.frameLength, 2u);
    EXPECT_TRUE(fromData.isDataReady());
    EXPECT_EQ(fromData.channel, -1);
    EXPECT_EQ(fromData.isVideo, 1);

    MediaFrame fromNothing(std::span<const uint8_t>{});
    EXPECT_FALSE(fromNothing.isDataReady());
}

TEST(MediaFrame, AppendingNothingChangesNothing) {
    MediaFrame f(bytes({1, 2}));
    f.appendData({});
    EXPECT_EQ(f.buffer, bytes({1, 2}));
    EXPECT_TRUE(f.isDataReady());
}

TEST(MediaFrame, CopyIsIndependentAndLeavesSpareFlag) {
    MediaFrame f(bytes({1, 2, 3}));
    f.keyFrame = 1;
    f.isVideo = 0;
    f.channel = 3;
    f.timestamp = 0xFFFFFFFFll;
    f.frameIndex = -7;
    f.width = 704;
    f.height = 576;
    f.isDecoding = 1;

    MediaFrame copy(f);
    f.appendData(bytes({4}));
    f.buffer[0] = 0x55;
    EXPECT_EQ(copy.buffer, bytes({1, 2, 3}));
    EXPECT_EQ(copy.frameLength, 3u);
    EXPECT_EQ(copy.keyFrame, 1);
    EXPECT_EQ(copy.isVideo, 0);
    EXPECT_EQ(copy.channel, 3);
    EXPECT_EQ(copy.timestamp, 0xFFFFFFFFll);
    EXPECT_EQ(copy.frameIndex, -7);
    EXPECT_EQ(copy.width, 704);
    EXPECT_EQ(copy.height, 576);
    EXPECT_EQ(copy.isDecoding, 0);

    copy.appendData(bytes({7}));
    EXPECT_EQ(f.buffer, bytes({0x55, 2, 3, 4}));

    MediaFrame assigned;
    assigned.isDecoding = 1;
    assigned = f;
    EXPECT_EQ(assigned.buffer, f.buffer);
    EXPECT_EQ(assigned.isDecoding, 1) << "a frame's own spare flag is not taken over";
}
