#include "platform/audio/AudioInputQueue.h"

#include <gtest/gtest.h>

#include "platform/audio/AudioSampleCoder.h"
#include "platform/Config.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/runloop/RunLoop.h"

using namespace lumora;

namespace {

struct Delivery {
    std::vector<uint8_t> bytes;
    uint32_t packets;
};

}  // namespace

// Enqueued buffers fill with the captured audio in the queue's format, in
// order; without an enqueued buffer, captured audio is dropped.
TEST(AudioInputQueueTest, FillsBuffersInOrderAndDropsWithoutBuffers) {
    Config::shared().audioBackend = "null";
    Config::shared().timeScale = 0.05;
    NullAudioDevice::shared().resetCapture();
    NullAudioDevice::shared().setGenerator([](uint64_t n, uint32_t) { return static_cast<int16_t>(n * 16); });
    AudioStreamBasicDescription f{};
    f.mSampleRate = 8000;
    f.mFormatID = kAudioFormatULaw;
    f.mChannelsPerFrame = 1;
    std::vector<Delivery> got;
    OSStatus status = -1;
    std::unique_ptr<AudioInputQueue> queue;
    queue = AudioInputQueue::create(
        f, [&](AudioQueueBufferRef b, uint32_t packets) {
            got.push_back({std::vector<uint8_t>(b->mAudioData, b->mAudioData + b->mAudioDataByteSize), packets});
        },
        RunLoop::main(), &status);
    ASSERT_EQ(status, kAudioNoErr);
    AudioQueueBufferRef a = nullptr, b = nullptr;
    ASSERT_EQ(queue->allocateBuffer(200, &a), kAudioNoErr);
    ASSERT_EQ(queue->allocateBuffer(200, &b), kAudioNoErr);
    queue->enqueueBuffer(a);
    queue->enqueueBuffer(b);
    ASSERT_EQ(queue->start(), kAudioNoErr);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return got.size() == 2; }, std::chrono::seconds(30)));
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return queue->droppedBytes() > 0; }, std::chrono::seconds(30)));
    for (size_t i = 0; i < 400; ++i)
        ASSERT_EQ(got[i / 200].bytes[i % 200], AudioSampleCoder::linearToUlaw(static_cast<int16_t>(i * 16))) << i;
    EXPECT_EQ(got[0].packets, 200u);
    EXPECT_EQ(queue->stop(false), kAudioNoErr);
    EXPECT_EQ(queue->dispose(), kAudioNoErr);
    EXPECT_EQ(queue->enqueueBuffer(a), kAudioQueueErr_DisposalPending);
}

TEST(AudioInputQueueTest, RefusesBuffersSmallerThanAPacket) {
    Config::shared().audioBackend = "null";
    AudioStreamBasicDescription f{};
    f.mSampleRate = 8000;
    f.mFormatID = kAudioFormatDVIIntelIMA;
    f.mChannelsPerFrame = 1;
    f.mBytesPerPacket = 164;
    auto queue = AudioInputQueue::create(f, [](AudioQueueBufferRef, uint32_t) {}, RunLoop::main(), nullptr);
    ASSERT_TRUE(queue);
    EXPECT_EQ(queue->maximumOutputPacketSize(), 164u);
    AudioQueueBufferRef b = nullptr;
    ASSERT_EQ(queue->allocateBuffer(100, &b), kAudioNoErr);
    EXPECT_EQ(queue->enqueueBuffer(b), kAudioQueueErr_InvalidParameter);
    OSStatus status = 0;
    EXPECT_FALSE(AudioInputQueue::create(AudioStreamBasicDescription{}, [](AudioQueueBufferRef, uint32_t) {},
                                         RunLoop::main(), &status));
    EXPECT_EQ(status, kAudioFormatUnsupportedDataFormatError);
}
