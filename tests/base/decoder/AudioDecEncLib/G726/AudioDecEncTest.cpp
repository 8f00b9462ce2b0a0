#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "base/decoder/AudioDecEncLib/G726/AudioDecEnc.h"

using namespace lumora;

namespace {

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// The same through the plain functions: 16 kbit/s, A-law.
std::vector<uint8_t> viaFunctions(bool encode, const std::vector<uint8_t>& in) {
    g726_state* st = nullptr;
    EXPECT_EQ(g726_state_create(G726_16, AUDIO_ENCODING_ALAW, &st), 1);
    std::vector<uint8_t> out(in.size() * 4);
    int outLen = 0;
    if (encode) g726_encode(st, in.data(), static_cast<int>(in.size()), out.data(), out.size(), &outLen);
    else g726_decode(st, in.data(), static_cast<int>(in.size()), out.data(), out.size(), &outLen);
    g726_state_destroy(&st);
    out.resize(outLen);
    return out;
}

}  // namespace

TEST(AudioDecEnc, DecodesDeviceAudioAt16kbitAlaw) {
    AudioDecEnc dec;
    ASSERT_TRUE(dec.initDecoder());
    std::vector<uint8_t> packet = randomBytes(40, 1);
    std::vector<uint8_t> sound(2048);
    ASSERT_EQ(dec.G726Dec(packet.data(), sound.data(), 40, sound.size()), 160);  // 4 A-law bytes per byte
    sound.resize(160);
    EXPECT_EQ(sound, viaFunctions(false, packet));
}

TEST(AudioDecEnc, EncodesTalkAudioAt16kbitAlaw) {
    AudioDecEnc enc;
    ASSERT_TRUE(enc.initEncoder());
    std::vector<uint8_t> captured = randomBytes(320, 2);
    std::vector<uint8_t> stream(1024);
    ASSERT_EQ(enc.G726Enc(captured.data(), stream.data(), 320, stream.size()), 80);
    stream.resize(80);
    EXPECT_EQ(stream, viaFunctions(true, captured));
}

TEST(AudioDecEnc, InitStartsAFreshStream) {
    AudioDecEnc dec;
    ASSERT_TRUE(dec.initDecoder());
    std::vector<uint8_t> packet = randomBytes(80, 3);
    std::vector<uint8_t> first(320), second(320), third(320);
    dec.G726Dec(packet.data(), first.data(), 80, first.size());
    dec.G726Dec(packet.data(), second.data(), 80, second.size());
    EXPECT_NE(first, second);  // the history carries on
    ASSERT_TRUE(dec.initDecoder());
    dec.G726Dec(packet.data(), third.data(), 80, third.size());
    EXPECT_EQ(first, third);
}

TEST(AudioDecEnc, WithoutAStateNothingIsProduced) {
    AudioDecEnc codec;
    std::vector<uint8_t> in = randomBytes(320, 4), out(1280, 0xEE);
    EXPECT_FALSE(codec.hasState());
    EXPECT_EQ(codec.G726Dec(in.data(), out.data(), 80, out.size()), 0);
    EXPECT_EQ(codec.G726Enc(in.data(), out.data(), 320, out.size()), 0);
    ASSERT_TRUE(codec.initEncoder());
    EXPECT_TRUE(codec.hasState());
    codec.freeEncoder();
    codec.freeDecoder();  // a second free is harmless
    EXPECT_FALSE(codec.hasState());
    EXPECT_EQ(codec.G726Enc(in.data(), out.data(), 320, out.size()), 0);
    for (uint8_t b : out) ASSERT_EQ(b, 0xEE);
}

// Lengths come off the network: a packet too long for the caller's area is
// decoded as far as it fits, and bad lengths give nothing.
TEST(AudioDecEnc, ReceivedLengthsNeverOverrunTheOutput) {
    AudioDecEnc dec;
    ASSERT_TRUE(dec.initDecoder());
    std::vector<uint8_t> packet = randomBytes(600, 5);
    std::vector<uint8_t> sound(2048 + 32, 0xEE);
    EXPECT_EQ(dec.G726Dec(packet.data(), sound.data(), 600, 2048), 2048);
    for (size_t i = 2048; i < sound.size(); ++i) ASSERT_EQ(sound[i], 0xEE);
    EXPECT_EQ(dec.G726Dec(packet.data(), sound.data(), 0, 2048), 0);
    EXPECT_EQ(dec.G726Dec(packet.data(), sound.data(), -40, 2048), 0);
    EXPECT_EQ(dec.G726Dec(nullptr, sound.data(), 40, 2048), 0);
}

// The playback queue decodes while the main queue stops and restarts
// playback: the state is never used after it is freed (ASan checks).
TEST(AudioDecEnc, FreeWhileDecodingOnAnotherThread) {
    AudioDecEnc dec;
    ASSERT_TRUE(dec.initDecoder());
    std::atomic<bool> stop{false};
    std::thread player([&] {
        std::vector<uint8_t> packet = randomBytes(80, 6), sound(320);
        while (!stop.load()) {
            int n = dec.G726Dec(packet.data(), sound.data(), 80, sound.size());
            ASSERT_TRUE(n == 0 || n == 320);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        dec.freeDecoder();
        dec.initDecoder();
    }
    stop = true;
    player.join();
}
