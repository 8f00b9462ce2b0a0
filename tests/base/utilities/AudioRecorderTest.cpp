#include "base/utilities/AudioRecorder.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"

using namespace lumora;
using namespace lumora::test;

namespace {

struct Counter : AudioRecordDelegate {
    size_t calls = 0, bytes = 0;
    void onAudioDataReady(const uint8_t*, size_t length) override {
        ++calls;
        bytes += length;
    }
};

}  // namespace

// Capture types, their formats and buffer sizes; a type without a format
// does not start.
TEST(AudioRecorderTest, FormatsAndBufferSizesByType) {
    useNullAudio();
    struct Case {
        int type;
        AudioFormatID format;
        uint32_t bufferBytes;
    } cases[] = {{0, kAudioFormatALaw, 320}, {1, kAudioFormatALaw, 320}, {2, kAudioFormatDVIIntelIMA, 26240},
                 {3, kAudioFormatULaw, 320}};
    auto recorder = AudioRecorder::create();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_TRUE(recorder->startRecording("audio.caf", c.type));
        EXPECT_TRUE(recorder->recording());
        EXPECT_EQ(recorder->dataFormat().mFormatID, c.format);
        EXPECT_EQ(recorder->dataFormat().mSampleRate, 8000.0);
        EXPECT_EQ(recorder->bufferByteSize(), c.bufferBytes);
        recorder->reallyStopRecording();
        EXPECT_FALSE(recorder->recording());
    }
    EXPECT_FALSE(recorder->startRecording("audio.caf", 4));
    EXPECT_FALSE(recorder->recording());
    Error e = recorder->failTo("AudioQueueNewInput", -50);
    EXPECT_EQ(e.domain, "NSOSStatusErrorDomain");
    EXPECT_EQ(e.code, -50);
}

// stopRecording acts on the next run-loop pass; a start in between is not
// stopped by it.
TEST(AudioRecorderTest, DeferredStopDoesNotEndALaterStart) {
    useNullAudio();
    auto counter = std::make_shared<Counter>();
    auto recorder = AudioRecorder::create();
    recorder->setDelegate(counter);
    ASSERT_TRUE(recorder->startRecording("audio.caf", 0));
    recorder->stopRecording();
    EXPECT_TRUE(recorder->recording());
    pumpUntil([&] { return !recorder->recording(); });
    EXPECT_FALSE(recorder->recording());

    ASSERT_TRUE(recorder->startRecording("audio.caf", 0));
    recorder->stopRecording();
    ASSERT_TRUE(recorder->startRecording("audio.caf", 0));
    ASSERT_TRUE(pumpUntil([&] { return counter->calls >= 3; }));
    EXPECT_TRUE(recorder->recording());
    EXPECT_EQ(counter->bytes, counter->calls * 320);
    recorder->reallyStopRecording();
}
