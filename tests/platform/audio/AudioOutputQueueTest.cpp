#include "platform/audio/AudioOutputQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/Config.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/runloop/RunLoop.h"

using namespace lumora;

namespace {

class AudioOutputQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().audioBackend = "null";
        Config::shared().timeScale = 0.05;
        NullAudioDevice::shared().clearPlayed();
        format.mSampleRate = 8000;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
        format.mBitsPerChannel = 16;
        format.mChannelsPerFrame = 1;
        OSStatus status = -1;
        queue = AudioOutputQueue::create(
            format, [this](AudioQueueBufferRef b) { done.push_back(b); }, RunLoop::main(), &status);
        ASSERT_EQ(status, kAudioNoErr);
        ASSERT_TRUE(queue);
    }
    void TearDown() override { NullAudioDevice::shared().setOutputHeld(false); }

    AudioQueueBufferRef filled(std::initializer_list<int16_t> samples) {
        AudioQueueBufferRef b = nullptr;
        EXPECT_EQ(queue->allocateBuffer(static_cast<uint32_t>(samples.size() * 2), &b), kAudioNoErr);
        std::memcpy(b->mAudioData, samples.begin(), samples.size() * 2);
        b->mAudioDataByteSize = static_cast<uint32_t>(samples.size() * 2);
        return b;
    }
    bool pumpUntil(const std::function<bool()>& p) { return RunLoop::main().runUntil(p, std::chrono::seconds(30)); }

    AudioStreamBasicDescription format{};
    std::unique_ptr<AudioOutputQueue> queue;
    std::vector<AudioQueueBufferRef> done;
};

}  // namespace

// Buffers play in order and come back once each, on the main run loop.
TEST_F(AudioOutputQueueTest, PlaysInOrderAndHandsBuffersBack) {
    auto a = filled({1, 2, 3});
    auto b = filled({4, 5});
    ASSERT_EQ(queue->enqueueBuffer(a), kAudioNoErr);
    ASSERT_EQ(queue->enqueueBuffer(b), kAudioNoErr);
    EXPECT_EQ(queue->enqueueBuffer(a), kAudioQueueErr_BufferInQueue);
    EXPECT_EQ(queue->freeBuffer(a), kAudioQueueErr_BufferInQueue);
    ASSERT_EQ(queue->start(), kAudioNoErr);
    ASSERT_TRUE(pumpUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(done, (std::vector<AudioQueueBufferRef>{a, b}));
    EXPECT_EQ(NullAudioDevice::shared().played(), (std::vector<int16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(queue->freeBuffer(a), kAudioNoErr);
    EXPECT_EQ(queue->freeBuffer(a), kAudioQueueErr_InvalidBuffer);  // stale reference refused
}

TEST_F(AudioOutputQueueTest, RefusesBadBuffersAndSizes) {
    AudioQueueBufferRef b = nullptr;
    EXPECT_EQ(queue->allocateBuffer(0, &b), kAudioQueueErr_InvalidParameter);
    EXPECT_EQ(queue->allocateBuffer(AudioOutputQueue::kMaxBufferBytes + 1, &b), kAudioQueueErr_InvalidParameter);
    ASSERT_EQ(queue->allocateBuffer(4, &b), kAudioNoErr);
    EXPECT_EQ(queue->enqueueBuffer(b), kAudioQueueErr_BufferEmpty);
    b->mAudioDataByteSize = 5;
    EXPECT_EQ(queue->enqueueBuffer(b), kAudioQueueErr_InvalidParameter);
    AudioQueueBuffer foreign{};
    EXPECT_EQ(queue->enqueueBuffer(&foreign), kAudioQueueErr_InvalidBuffer);
    EXPECT_EQ(queue->freeBuffer(&foreign), kAudioQueueErr_InvalidBuffer);
    EXPECT_EQ(queue->setVolume(2.0f), kAudioQueueErr_InvalidParameter);
}

// A stop that is not immediate plays out what is queued, a paused queue
// too; an immediate stop hands back what was not played.
TEST_F(AudioOutputQueueTest, StopPlaysOutOrHandsBack) {
    std::mutex runningMutex;
    std::vector<bool> running;  // the listener runs on the queue's thread too
    queue->setRunningListener([&](bool r) {
        std::lock_guard<std::mutex> lock(runningMutex);
        running.push_back(r);
    });
    queue->start();
    queue->pause();
    ASSERT_EQ(queue->enqueueBuffer(filled({7, 8})), kAudioNoErr);
    ASSERT_EQ(queue->stop(false), kAudioNoErr);
    ASSERT_TRUE(pumpUntil([&] { return done.size() == 1 && !queue->isRunning(); }));
    EXPECT_EQ(NullAudioDevice::shared().played(), (std::vector<int16_t>{7, 8}));

    NullAudioDevice::shared().setOutputHeld(true);
    queue->start();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(queue->enqueueBuffer(filled({1, 1, 1})), kAudioNoErr);
    ASSERT_EQ(queue->stop(true), kAudioNoErr);
    NullAudioDevice::shared().setOutputHeld(false);
    ASSERT_TRUE(pumpUntil([&] { return done.size() == 4 && queue->enqueuedCount() == 0; }));
    EXPECT_LE(NullAudioDevice::shared().playedCount(), 5u);  // at most the buffer already playing
    std::lock_guard<std::mutex> lock(runningMutex);
    EXPECT_EQ(running, (std::vector<bool>{true, false, true, false}));
}

// After dispose no callback runs and every call is refused, even with
// buffers in flight and callbacks already posted.
TEST_F(AudioOutputQueueTest, DisposeWithBuffersInFlight) {
    queue->start();
    for (int i = 0; i < 5; ++i) queue->enqueueBuffer(filled({1, 2, 3, 4}));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(queue->dispose(), kAudioNoErr);
    size_t seen = done.size();
    RunLoop::main().runFor(std::chrono::milliseconds(20));
    EXPECT_EQ(done.size(), seen);
    AudioQueueBufferRef b = nullptr;
    EXPECT_EQ(queue->allocateBuffer(4, &b), kAudioQueueErr_DisposalPending);
    EXPECT_EQ(queue->start(), kAudioQueueErr_DisposalPending);
    queue.reset();
    RunLoop::main().runFor(std::chrono::milliseconds(20));
}

// A filled allocation copies the bytes and descriptions, checks its
// arguments like allocateBuffer, and plays what it copied.
TEST_F(AudioOutputQueueTest, AllocatesFilledBuffers) {
    const int16_t samples[] = {5, -6, 7};
    const AudioStreamPacketDescription description{0, 1, sizeof samples};
    AudioQueueBufferRef b = nullptr;
    struct Bad {
        const void* data;
        uint32_t bytes;
        uint32_t packets;
        const AudioStreamPacketDescription* descriptions;
    };
    for (const Bad& bad : {Bad{nullptr, 6, 0, nullptr}, Bad{samples, 0, 0, nullptr}, Bad{samples, 6, 1, nullptr},
                           Bad{samples, 6, 7, &description},
                           Bad{samples, AudioOutputQueue::kMaxBufferBytes + 1, 0, nullptr}}) {
        EXPECT_EQ(queue->allocateBufferWithData(bad.data, bad.bytes, bad.packets, bad.descriptions, &b),
                  kAudioQueueErr_InvalidParameter);
        EXPECT_EQ(b, nullptr);
    }
    EXPECT_EQ(queue->allocateBufferWithData(samples, 6, 0, nullptr, nullptr), kAudioQueueErr_InvalidParameter);

    ASSERT_EQ(queue->allocateBufferWithData(samples, sizeof samples, 1, &description, &b), kAudioNoErr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->mAudioDataByteSize, sizeof samples);
    EXPECT_EQ(std::memcmp(b->mAudioData, samples, sizeof samples), 0);
    ASSERT_EQ(b->mPacketDescriptionCount, 1u);
    EXPECT_EQ(b->mPacketDescriptions[0].mDataByteSize, description.mDataByteSize);
    queue->start();
    ASSERT_EQ(queue->enqueueBuffer(b), kAudioNoErr);
    ASSERT_TRUE(pumpUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(NullAudioDevice::shared().played(), (std::vector<int16_t>{5, -6, 7}));
}

// Filled allocations on another thread while the queue is disposed of: each
// either gets a buffer or is refused, and none writes into a buffer the
// dispose freed (run under the thread sanitizer).
TEST_F(AudioOutputQueueTest, FilledAllocationRacesDispose) {
    std::vector<uint8_t> bytes(4096, 0x11);
    const AudioStreamPacketDescription description{0, 1, 4096};
    std::atomic<bool> started{false};
    std::atomic<int> refused{0};
    std::thread owner([&] {
        for (int i = 0; i < 2000 && refused == 0; ++i) {
            AudioQueueBufferRef b = nullptr;
            OSStatus s = queue->allocateBufferWithData(bytes.data(), 4096, 1, &description, &b);
            started = true;
            if (s == kAudioQueueErr_DisposalPending)
                ++refused;
            else
                EXPECT_EQ(s, kAudioNoErr);
        }
    });
    while (!started) std::this_thread::yield();
    EXPECT_EQ(queue->dispose(), kAudioNoErr);
    owner.join();
    AudioQueueBufferRef b = nullptr;
    EXPECT_EQ(queue->allocateBufferWithData(bytes.data(), 4096, 0, nullptr, &b), kAudioQueueErr_DisposalPending);
    EXPECT_EQ(b, nullptr);
}
