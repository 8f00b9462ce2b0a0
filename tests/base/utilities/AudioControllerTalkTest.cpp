#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "AudioTestSupport.h"
#include "base/decoder/AudioDecEncLib/G726/AudioDecEnc.h"
#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"
#include "base/utilities/AudioController.h"
#include "platform/audio/AudioSampleCoder.h"
#include "platform/audio/NullAudioDevice.h"

using namespace lumora;
using namespace lumora::test;

namespace {

struct Collector : AudioControllerDelegate {
    std::vector<std::vector<uint8_t>> packets;
    void onRecordBufferReady(const std::vector<uint8_t>& data) override { packets.push_back(data); }
    bool implementsOnRecordBufferReady() const override { return true; }
};

int16_t tone(uint64_t n) {
    return static_cast<int16_t>(std::lround(9000.0 * std::sin(2 * M_PI * 440.0 * static_cast<double>(n) / 8000.0) +
                                            3000.0 * std::sin(2 * M_PI * 97.0 * static_cast<double>(n) / 8000.0)));
}

// Signal-to-noise ratio in dB of `got` against `want`.
double snrDb(const std::vector<int>& want, const std::vector<int>& got) {
    double s = 0, e = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        s += double(want[i]) * want[i];
        e += double(want[i] - got[i]) * (want[i] - got[i]);
    }
    return 10 * std::log10(s / std::max(e, 1.0));
}

class AudioTalkTest : public ::testing::Test {
protected:
    void SetUp() override { useNullAudio(); }

    std::shared_ptr<Collector> sink = std::make_shared<Collector>();
    std::shared_ptr<AudioController> controller = AudioController::create(sink);
};

}  // namespace

// The G.726 path sends one 80-byte packet per 320 pending bytes and tick:
// 319 bytes send nothing, the 320th makes the next tick send; 640 bytes take
// two ticks. Capture is slowed right down so that only the bytes given here
// count.
TEST_F(AudioTalkTest, G726PacketsOf80BytesPerTick) {
    useNullAudio(1000.0);
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatG726));
    std::vector<uint8_t> alaw(319, 0xD5);
    controller->onAudioDataReady(alaw.data(), alaw.size());
    controller->encode726();
    EXPECT_TRUE(sink->packets.empty());
    controller->onAudioDataReady(alaw.data(), 1);
    controller->encode726();
    ASSERT_EQ(sink->packets.size(), 1u);
    EXPECT_EQ(sink->packets[0].size(), 80u);
    EXPECT_EQ(controller->pendingTalkBytes(), 0u);

    std::vector<uint8_t> more(640, 0x55);
    controller->onAudioDataReady(more.data(), more.size());
    controller->encode726();
    EXPECT_EQ(sink->packets.size(), 2u);
    controller->encode726();
    EXPECT_EQ(sink->packets.size(), 3u);
    controller->encode726();
    EXPECT_EQ(sink->packets.size(), 3u);
    controller->stopAudioRecord();
}

// A second of talk encoded packet by packet decodes back to the input within
// what 16 kbit/s ADPCM keeps.
TEST_F(AudioTalkTest, G726RoundTripReproducesTheInput) {
    useNullAudio(1000.0);
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatG726));
    std::vector<uint8_t> alaw;
    for (uint64_t n = 0; n < 8000; ++n) alaw.push_back(g711_linear2alaw(tone(n)));
    for (size_t at = 0; at < alaw.size(); at += 100) controller->onAudioDataReady(alaw.data() + at, 100);
    for (int i = 0; i < 25; ++i) controller->encode726();
    ASSERT_EQ(sink->packets.size(), 25u);

    AudioDecEnc decoder;
    ASSERT_TRUE(decoder.initDecoder());
    std::vector<int> want, got;
    for (size_t p = 0; p < sink->packets.size(); ++p) {
        ASSERT_EQ(sink->packets[p].size(), 80u);
        uint8_t out[320];
        ASSERT_EQ(decoder.G726Dec(sink->packets[p].data(), out, 80, sizeof out), 320);
        for (int i = 0; i < 320; ++i) {
            want.push_back(g711_alaw2linear(alaw[p * 320 + i]));
            got.push_back(g711_alaw2linear(out[i]));
        }
    }
    // Past the first 40 ms, while the coder adapts.
    want.erase(want.begin(), want.begin() + 320);
    got.erase(got.begin(), got.begin() + 320);
    EXPECT_GT(snrDb(want, got), 8.0);
    controller->stopAudioRecord();
}

// After stopAudioRecord the next tick ends the timer and sends nothing.
TEST_F(AudioTalkTest, StopThenTickSendsNothing) {
    useNullAudio(1000.0);
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatG726));
    EXPECT_TRUE(controller->isEncoderTimerRunning());
    std::vector<uint8_t> alaw(640, 0xD5);
    controller->onAudioDataReady(alaw.data(), alaw.size());
    controller->stopAudioRecord();
    controller->encode726();
    EXPECT_TRUE(sink->packets.empty());
    EXPECT_FALSE(controller->isEncoderTimerRunning());
}

// Capture through the null device: A-law (PCM and A-law codes) and mu-law
// buffers of 320 bytes (mu-law talk is sent as captured),
// each a contiguous piece of what the microphone heard.
TEST_F(AudioTalkTest, CapturedBuffersReachTheDelegate) {
    NullAudioDevice::shared().setGenerator([](uint64_t n, uint32_t) { return tone(n); });
    for (unsigned code : {unsigned(AudioController::kWaveFormatALaw), unsigned(AudioController::kWaveFormatULaw),
                          unsigned(AudioController::kWaveFormatPCM)}) {
        SCOPED_TRACE(code);
        sink->packets.clear();
        NullAudioDevice::shared().resetCapture();
        ASSERT_TRUE(controller->startAudioRecord(code));
        ASSERT_TRUE(pumpUntil([&] { return sink->packets.size() >= 6; }));
        controller->stopAudioRecord();
        uint64_t last = 0;
        for (auto& p : sink->packets) {
            ASSERT_EQ(p.size(), 320u);
            // Find where this piece starts (capture runs in 10 ms steps).
            bool found = false;
            for (uint64_t start = last; start < 8000 * 60 && !found; start += 80) {
                found = true;
                for (size_t i = 0; i < 320 && found; ++i) {
                    uint8_t want = code == unsigned(AudioController::kWaveFormatULaw)
                                       ? AudioSampleCoder::linearToUlaw(tone(start + i))
                                       : AudioSampleCoder::linearToAlaw(tone(start + i));
                    found = p[i] == want;
                }
                if (found) last = start + 320;
            }
            EXPECT_TRUE(found);
        }
        pumpFor(std::chrono::milliseconds(10));
    }
}

// Live G.726 talk: every packet is 80 bytes and no captured byte is lost:
// what was sent plus what waits is what was captured.
TEST_F(AudioTalkTest, LiveG726TalkLosesNothing) {
    NullAudioDevice::shared().setGenerator([](uint64_t n, uint32_t) { return tone(n); });
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatG726));
    auto recorder = controller->recorder();
    bool balanced = true;
    ASSERT_TRUE(pumpUntil([&] {
        balanced = balanced &&
                   sink->packets.size() * 320 + controller->pendingTalkBytes() == size_t(recorder->currentPacket());
        return sink->packets.size() >= 20;
    }));
    EXPECT_TRUE(balanced);
    for (auto& p : sink->packets) EXPECT_EQ(p.size(), 80u);
    controller->stopAudioRecord();
    pumpUntil([&] { return !controller->isEncoderTimerRunning(); });
    EXPECT_FALSE(controller->isEncoderTimerRunning());
}

// IMA ADPCM talk hands over whole buffers of 164-byte blocks.
TEST_F(AudioTalkTest, ImaTalkDeliversWholeBlocks) {
    NullAudioDevice::shared().setGenerator([](uint64_t n, uint32_t) { return tone(n); });
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatIMAADPCM));
    ASSERT_TRUE(pumpUntil([&] { return !sink->packets.empty(); }));
    controller->stopAudioRecord();
    ASSERT_EQ(sink->packets[0].size(), 26240u);
    AudioStreamBasicDescription f = AudioRecorder::formatForType(2);
    std::vector<int16_t> pcm;
    AudioSampleCoder::decode(f, sink->packets[0].data(), sink->packets[0].size(), pcm);
    ASSERT_EQ(pcm.size(), 160u * 321);
    std::vector<int> want, got;
    for (size_t i = 0; i < pcm.size(); ++i) {
        want.push_back(tone(i));
        got.push_back(pcm[i]);
    }
    EXPECT_GT(snrDb(want, got), 20.0);
}

// An unknown code captures but sends nothing.
TEST_F(AudioTalkTest, UnknownCodeCapturesButSendsNothing) {
    ASSERT_TRUE(controller->startAudioRecord(0x1234));
    auto recorder = controller->recorder();
    ASSERT_TRUE(pumpUntil([&] { return recorder->currentPacket() >= 960; }));
    EXPECT_TRUE(sink->packets.empty());
    controller->stopAudioRecord();
}

// A stop followed at once by a new start keeps the new capture running.
TEST_F(AudioTalkTest, QuickStopAndStartKeepsCapturing) {
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatALaw));
    controller->stopAudioRecord();
    ASSERT_TRUE(controller->startAudioRecord(AudioController::kWaveFormatALaw));
    pumpFor(std::chrono::milliseconds(5));
    size_t before = sink->packets.size();
    ASSERT_TRUE(pumpUntil([&] { return sink->packets.size() >= before + 3; }));
    EXPECT_TRUE(controller->recorder()->recording());
    controller->stopAudioRecord();
    pumpUntil([&] { return !controller->recorder()->recording(); });
    EXPECT_FALSE(controller->recorder()->recording());
}

// Starts, stops and releases while input callbacks and timer ticks are
// pending: nothing runs on freed memory (run under ASan).
TEST_F(AudioTalkTest, StopAndReleaseWhileCallbacksAreInFlight) {
    useNullAudio(0.005);
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        auto delegate = std::make_shared<Collector>();
        auto c = AudioController::create(delegate);
        c->startAudioRecord(round % 2 ? AudioController::kWaveFormatG726 : AudioController::kWaveFormatALaw);
        pumpFor(std::chrono::milliseconds(rng() % 10));
        if (round % 3 == 0) c->stopAudioRecord();
        if (round % 4 == 0) delegate.reset();
        pumpFor(std::chrono::milliseconds(rng() % 3));
        std::weak_ptr<AudioController> weak = c;
        c.reset();
        pumpFor(std::chrono::milliseconds(rng() % 5));
        // Released means gone once the queued callbacks ran, capture
        // stopped, and nothing more handed to the delegate.
        ASSERT_TRUE(pumpUntil([&] { return weak.expired(); })) << "round " << round;
        pumpFor(std::chrono::milliseconds(20));
        const uint64_t captured = NullAudioDevice::shared().capturedFrames();
        const size_t packets = delegate ? delegate->packets.size() : 0;
        pumpFor(std::chrono::milliseconds(30));
        EXPECT_EQ(NullAudioDevice::shared().capturedFrames(), captured) << "round " << round;
        if (delegate) {
            EXPECT_EQ(delegate->packets.size(), packets) << "round " << round;
        }
    }
}
