#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <atomic>
#include <random>
#include <thread>

#include "AudioTestSupport.h"
#include "base/decoder/AudioDecEncLib/G726/AudioDecEnc.h"
#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"
#include "base/utilities/AudioController.h"
#include "platform/audio/NullAudioDevice.h"

using namespace lumora;
using namespace lumora::test;

namespace {

// IMA ADPCM blocks decoded by FFmpeg, as the reference for code 8.
std::vector<int16_t> ffmpegImaDecode(const std::vector<std::vector<uint8_t>>& blocks, int blockAlign) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = 8000;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    av_channel_layout_copy(&ctx->ch_layout, &mono);
    ctx->block_align = blockAlign;
    ctx->bits_per_coded_sample = 4;
    std::vector<int16_t> out;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return out;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (const auto& b : blocks) {
        av_new_packet(pkt, static_cast<int>(b.size()));
        std::copy(b.begin(), b.end(), pkt->data);
        if (avcodec_send_packet(ctx, pkt) >= 0) {
            while (avcodec_receive_frame(ctx, frame) >= 0) {
                auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
                out.insert(out.end(), s, s + frame->nb_samples);
            }
        }
        av_packet_unref(pkt);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

std::vector<int16_t> alawToPcm(const std::vector<uint8_t>& a) {
    std::vector<int16_t> v;
    for (uint8_t b : a) v.push_back(static_cast<int16_t>(g711_alaw2linear(b)));
    return v;
}

class AudioPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override { useNullAudio(); }
    void TearDown() override { NullAudioDevice::shared().setOutputHeld(false); }

    std::shared_ptr<AudioController> controller = AudioController::create();

    // Waits until the list ran dry after playing `samples` samples.
    bool waitPlayedAndDry(size_t samples) {
        return pumpUntil([&] {
            return NullAudioDevice::shared().playedCount() >= samples && controller->isFirstPacket() &&
                   controller->waitingPacketCount() == 0;
        });
    }
};

struct CodeCase {
    const char* name;
    int code;
    size_t packetBytes;
};

class AudioPlaybackCodeTest : public AudioPlaybackTest, public ::testing::WithParamInterface<CodeCase> {};

}  // namespace

// Every wave-format code plays exactly the decoded samples of its frames,
// with the optional frame headers taken off.
TEST_P(AudioPlaybackCodeTest, PlaysDecodedSamplesOfEveryFrame) {
    const CodeCase& c = GetParam();
    std::mt19937 rng(c.code);
    ASSERT_TRUE(controller->startAudioPlay(c.code, 1, 16, 8000));

    static const uint8_t kHeaders[3][4] = {{0, 1, 0x14, 0}, {0, 1, 0x52, 0}, {0, 1, 0xA0, 0}};
    std::vector<std::vector<uint8_t>> payloads;
    for (int i = 0; i < 30; ++i) {
        auto payload = randomBytes(c.packetBytes, rng);
        if (c.code == AudioController::kWaveFormatIMAADPCM) {
            payload[2] = static_cast<uint8_t>(payload[2] % 89);
            payload[3] = 0;
        }
        if (payload.size() >= 4 && AudioController::frameHeaderLength(payload.data(), payload.size()) == 4)
            payload[0] = 0x55;  // must not look like a header itself
        payloads.push_back(payload);
        std::vector<uint8_t> frame = payload;
        if (i % 2) frame.insert(frame.begin(), kHeaders[i % 3], kHeaders[i % 3] + 4);
        controller->playAudioBuffer(frame);
    }

    std::vector<int16_t> expected;
    switch (c.code) {
    case AudioController::kWaveFormatPCM:
        for (auto& p : payloads)
            for (size_t i = 0; i + 1 < p.size(); i += 2) expected.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
        break;
    case AudioController::kWaveFormatALaw:
        for (auto& p : payloads)
            for (uint8_t b : p) expected.push_back(static_cast<int16_t>(g711_alaw2linear(b)));
        break;
    case AudioController::kWaveFormatULaw:
        for (auto& p : payloads)
            for (uint8_t b : p) expected.push_back(static_cast<int16_t>(g711_ulaw2linear(b)));
        break;
    case AudioController::kWaveFormatG726: {
        AudioDecEnc reference;
        ASSERT_TRUE(reference.initDecoder());
        for (auto& p : payloads) {
            std::vector<uint8_t> alaw(p.size() * 4);
            int n = reference.G726Dec(p.data(), alaw.data(), static_cast<int>(p.size()), alaw.size());
            ASSERT_EQ(n, static_cast<int>(p.size() * 4));
            auto pcm = alawToPcm(alaw);
            expected.insert(expected.end(), pcm.begin(), pcm.end());
        }
        break;
    }
    case AudioController::kWaveFormatIMAADPCM:
        expected = ffmpegImaDecode(payloads, 164);
        ASSERT_EQ(expected.size(), 30u * 321);
        break;
    }
    ASSERT_TRUE(waitPlayedAndDry(expected.size()));
    auto played = NullAudioDevice::shared().played();
    if (c.code == AudioController::kWaveFormatIMAADPCM) {
        // FFmpeg rounds the step sum in one multiplication instead of the
        // reference's shifted parts: a few units apart at most.
        ASSERT_EQ(played.size(), expected.size());
        int maxDiff = 0;
        for (size_t i = 0; i < played.size(); ++i) maxDiff = std::max(maxDiff, std::abs(played[i] - expected[i]));
        EXPECT_LE(maxDiff, 64);
    } else {
        EXPECT_EQ(played, expected);
    }
    EXPECT_TRUE(controller->audioQueue()->isPaused());
}

INSTANTIATE_TEST_SUITE_P(Codes, AudioPlaybackCodeTest,
                         ::testing::Values(CodeCase{"PCM", AudioController::kWaveFormatPCM, 320},
                                           CodeCase{"IMA", AudioController::kWaveFormatIMAADPCM, 164},
                                           CodeCase{"ALaw", AudioController::kWaveFormatALaw, 320},
                                           CodeCase{"G726", AudioController::kWaveFormatG726, 80},
                                           CodeCase{"ULaw", AudioController::kWaveFormatULaw, 320}),
                         [](const auto& info) { return std::string(info.param.name); });

// 24 waiting frames do not start playback, the 25th does; a dry list pauses
// and the next start waits for 25 frames again.
TEST_F(AudioPlaybackTest, JitterListStartsAt25AndPausesWhenDry) {
    std::mt19937 rng(7);
    ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatALaw, 1, 16, 8000));
    std::vector<uint8_t> all;
    auto feed = [&](int n) {
        for (int i = 0; i < n; ++i) {
            auto p = randomBytes(320, rng);
            p[0] = 0x55;
            all.insert(all.end(), p.begin(), p.end());
            controller->playAudioBuffer(p);
        }
    };
    for (int round = 0; round < 2; ++round) {
        size_t before = all.size();
        feed(24);
        EXPECT_TRUE(controller->isFirstPacket());
        EXPECT_EQ(controller->waitingPacketCount(), 24u);
        pumpFor(std::chrono::milliseconds(30));
        EXPECT_EQ(NullAudioDevice::shared().playedCount(), before);  // nothing of this round yet
        feed(1);
        EXPECT_FALSE(controller->isFirstPacket());
        ASSERT_TRUE(waitPlayedAndDry(all.size()));
        EXPECT_TRUE(controller->audioQueue()->isPaused());
    }
    EXPECT_EQ(NullAudioDevice::shared().played(), alawToPcm(all));
}

// With more than 100 frames waiting, every further frame puts one more
// buffer in flight.
TEST_F(AudioPlaybackTest, BacklogAbove100AddsOneBufferPerFrame) {
    std::mt19937 rng(8);
    ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatALaw, 1, 16, 8000));
    NullAudioDevice::shared().setOutputHeld(true);  // a stalled device: nothing finishes
    std::vector<uint8_t> all;
    auto feedOne = [&] {
        auto p = randomBytes(320, rng);
        p[0] = 0x55;
        all.insert(all.end(), p.begin(), p.end());
        controller->playAudioBuffer(p);
    };
    auto queue = controller->audioQueue();
    for (int i = 0; i < 25; ++i) feedOne();
    ASSERT_TRUE(pumpUntil([&] { return queue->enqueuedCount() == 1 && controller->waitingPacketCount() == 24; }));
    while (controller->waitingPacketCount() < 100) feedOne();
    pumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(queue->enqueuedCount(), 1u);
    for (size_t inFlight = 2; inFlight <= 4; ++inFlight) {
        feedOne();
        ASSERT_TRUE(pumpUntil([&] { return queue->enqueuedCount() == inFlight; }));
    }
    NullAudioDevice::shared().setOutputHeld(false);
    ASSERT_TRUE(waitPlayedAndDry(all.size())) << NullAudioDevice::shared().playedCount() << " of " << all.size()
                                              << ", waiting " << controller->waitingPacketCount() << ", in flight "
                                              << queue->enqueuedCount() << " first " << controller->isFirstPacket();
    EXPECT_EQ(NullAudioDevice::shared().played(), alawToPcm(all));
}

// Only the three headers are taken off; other frames, short ones too, stay
// whole; a frame that is only a header plays nothing and stalls nothing.
TEST_F(AudioPlaybackTest, OnlyKnownFrameHeadersAreStripped) {
    ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatALaw, 1, 16, 8000));
    std::vector<std::vector<uint8_t>> frames = {
        {0x00, 0x01, 0xA1, 0x00, 0x10, 0x20},  // unknown header: whole
        {0x00, 0x01, 0xA0},                    // shorter than a header: whole
        {0x00, 0x01, 0xA0, 0x00},              // header only: nothing
        {0x00, 0x01, 0x14, 0x00, 0x33},        // header + one sample
    };
    std::vector<uint8_t> expected = {0x00, 0x01, 0xA1, 0x00, 0x10, 0x20, 0x00, 0x01, 0xA0, 0x33};
    for (auto& f : frames) controller->playAudioBuffer(f);
    std::vector<uint8_t> filler(320, 0x55);
    for (int i = 0; i < 25; ++i) {
        controller->playAudioBuffer(filler);
        expected.insert(expected.end(), filler.begin(), filler.end());
    }
    ASSERT_TRUE(waitPlayedAndDry(expected.size()));
    EXPECT_EQ(NullAudioDevice::shared().played(), alawToPcm(expected));
}

// Frames of hostile sizes never overrun and never stall playback: odd PCM
// lengths lose their last byte, a frame above the limit is dropped, and a
// G.726 frame longer than the 2048-byte decoding area is decoded whole.
TEST_F(AudioPlaybackTest, HostileFrameSizes) {
    std::mt19937 rng(9);
    {
        ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatPCM, 1, 16, 8000));
        std::vector<std::vector<uint8_t>> frames = {{}, {0x01}, {0x01, 0x02, 0x03}, randomBytes(AudioController::kMaxPacketBytes + 1, rng),
                                                    randomBytes(AudioController::kMaxPacketBytes, rng)};
        std::vector<int16_t> expected = {0x0201};
        for (size_t i = 0; i + 1 < frames[4].size(); i += 2) expected.push_back(static_cast<int16_t>(frames[4][i] | (frames[4][i + 1] << 8)));
        frames[4][0] = 0x55;
        expected[1] = static_cast<int16_t>(0x55 | (frames[4][1] << 8));
        for (auto& f : frames) controller->playAudioBuffer(f);
        controller->playAudioBuffer(nullptr, 100);
        EXPECT_EQ(controller->waitingPacketCount(), 3u);  // the empty and the oversized frame are not kept
        for (int i = 0; i < 22; ++i) controller->playAudioBuffer(std::vector<uint8_t>{0x00, 0x00});
        expected.insert(expected.end(), 22, 0);
        ASSERT_TRUE(waitPlayedAndDry(expected.size()));
        EXPECT_EQ(NullAudioDevice::shared().played(), expected);
        controller->stopAudioPlay();
    }
    NullAudioDevice::shared().clearPlayed();
    {
        ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatG726, 1, 16, 8000));
        AudioDecEnc reference;
        ASSERT_TRUE(reference.initDecoder());
        std::vector<uint8_t> alaw;
        for (size_t size : {600u, 1u, 513u, 2048u, 80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u,
                            80u, 80u, 80u, 80u, 80u, 80u, 80u, 80u}) {
            auto p = randomBytes(size, rng);
            p[0] = 0x55;
            std::vector<uint8_t> out(size * 4);
            ASSERT_EQ(reference.G726Dec(p.data(), out.data(), static_cast<int>(size), out.size()), static_cast<int>(size * 4));
            alaw.insert(alaw.end(), out.begin(), out.end());
            controller->playAudioBuffer(p);
        }
        ASSERT_TRUE(waitPlayedAndDry(alaw.size()));
        EXPECT_EQ(NullAudioDevice::shared().played(), alawToPcm(alaw));
    }
}

// A 40-byte G.726 frame becomes 160 A-law samples.
TEST_F(AudioPlaybackTest, G726FrameOf40BytesPlays160Samples) {
    ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatG726, 1, 16, 8000));
    for (int i = 0; i < 25; ++i) controller->playAudioBuffer(std::vector<uint8_t>(40, 0x5A));
    ASSERT_TRUE(waitPlayedAndDry(25 * 160));
    EXPECT_EQ(NullAudioDevice::shared().playedCount(), 25u * 160);
}

// Stopping empties the list, lets the buffer in flight play out, and keeps
// no frames that arrive afterwards; a new start plays again.
TEST_F(AudioPlaybackTest, StopPlaysOutAndRestartPlaysAgain) {
    std::mt19937 rng(10);
    ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatALaw, 1, 16, 8000));
    NullAudioDevice::shared().setOutputHeld(true);
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 40; ++i) {
        frames.push_back(randomBytes(320, rng));
        frames.back()[0] = 0x55;
        controller->playAudioBuffer(frames.back());
    }
    auto queue = controller->audioQueue();
    ASSERT_TRUE(pumpUntil([&] { return queue->enqueuedCount() == 1; }));
    controller->stopAudioPlay();
    EXPECT_EQ(controller->waitingPacketCount(), 0u);
    controller->playAudioBuffer(frames[5]);
    EXPECT_EQ(controller->waitingPacketCount(), 0u);
    NullAudioDevice::shared().setOutputHeld(false);
    ASSERT_TRUE(pumpUntil([&] { return NullAudioDevice::shared().playedCount() == 320 && !queue->isRunning(); }));
    pumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(NullAudioDevice::shared().played(), alawToPcm(frames[0]));

    NullAudioDevice::shared().clearPlayed();
    ASSERT_TRUE(controller->startAudioPlay(AudioController::kWaveFormatULaw, 1, 16, 8000));
    std::vector<int16_t> expected;
    for (int i = 0; i < 25; ++i) {
        controller->playAudioBuffer(frames[i]);
        for (uint8_t b : frames[i]) expected.push_back(static_cast<int16_t>(g711_ulaw2linear(b)));
    }
    ASSERT_TRUE(waitPlayedAndDry(expected.size()));
    EXPECT_EQ(NullAudioDevice::shared().played(), expected);
}

// A code outside the table has no output: start says so, and frames are not
// kept.
TEST_F(AudioPlaybackTest, UnknownCodePlaysNothingAndKeepsNothing) {
    EXPECT_FALSE(controller->startAudioPlay(0x1234, 1, 16, 8000));
    for (int i = 0; i < 30; ++i) controller->playAudioBuffer(std::vector<uint8_t>(320, 0x55));
    EXPECT_EQ(controller->waitingPacketCount(), 0u);
    EXPECT_FALSE(controller->audioQueue()->hasOutputQueue());
    controller->stopAudioPlay();
}

// Stops, restarts and releases while frames arrive from another thread and
// buffers come back: nothing runs on freed memory (run under ASan).
TEST_F(AudioPlaybackTest, StopAndReleaseWhileCallbacksAreInFlight) {
    useNullAudio(0.005);
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        auto c = AudioController::create();
        ASSERT_TRUE(c->startAudioPlay(round % 2 ? AudioController::kWaveFormatG726 : AudioController::kWaveFormatALaw, 1,
                                      16, 8000));
        std::atomic<bool> done{false};
        std::thread link([&, c] {
            std::mt19937 r(round);
            for (int i = 0; i < 200 && !done; ++i) c->playAudioBuffer(randomBytes(1 + r() % 400, r));
        });
        pumpFor(std::chrono::milliseconds(rng() % 10));
        if (round % 3 == 0) {
            c->stopAudioPlay();
            c->startAudioPlay(AudioController::kWaveFormatALaw, 1, 16, 8000);
        }
        pumpFor(std::chrono::milliseconds(rng() % 5));
        if (round % 2) c->stopAudioPlay();
        done = true;
        link.join();
        std::weak_ptr<AudioController> weak = c;
        c.reset();  // refills and buffer callbacks may still be queued
        pumpFor(std::chrono::milliseconds(rng() % 5));
        // Released means gone once the queued callbacks ran, and silent:
        // no queue of it plays on.
        ASSERT_TRUE(pumpUntil([&] { return weak.expired(); })) << "round " << round;
        pumpFor(std::chrono::milliseconds(20));
        const size_t played = NullAudioDevice::shared().playedCount();
        pumpFor(std::chrono::milliseconds(30));
        EXPECT_EQ(NullAudioDevice::shared().playedCount(), played) << "round " << round;
    }
}
