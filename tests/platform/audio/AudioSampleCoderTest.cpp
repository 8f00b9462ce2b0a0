#include "platform/audio/AudioSampleCoder.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace lumora;

namespace {

AudioStreamBasicDescription format(AudioFormatID id, uint32_t channels = 1, uint32_t bits = 16,
                                   uint32_t bytesPerPacket = 2) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = 8000;
    f.mFormatID = id;
    f.mFormatFlags = id == kAudioFormatLinearPCM ? kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked : 0;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = bits;
    f.mBytesPerPacket = bytesPerPacket;
    return f;
}

}  // namespace

TEST(AudioSampleCoderTest, G711KnownValuesAndRoundTrip) {
    EXPECT_EQ(AudioSampleCoder::alawToLinear(0xD5), 8);
    EXPECT_EQ(AudioSampleCoder::alawToLinear(0x55), -8);
    EXPECT_EQ(AudioSampleCoder::alawToLinear(0xAA), 32256);
    EXPECT_EQ(AudioSampleCoder::ulawToLinear(0xFF), 0);
    EXPECT_EQ(AudioSampleCoder::ulawToLinear(0x80), 32124);
    EXPECT_EQ(AudioSampleCoder::ulawToLinear(0x00), -32124);
    for (int code = 0; code < 256; ++code) {
        auto c = static_cast<uint8_t>(code);
        EXPECT_EQ(AudioSampleCoder::linearToAlaw(AudioSampleCoder::alawToLinear(c)), c);
        if (c != 0x7F) {  // 0x7F is -0
            EXPECT_EQ(AudioSampleCoder::linearToUlaw(AudioSampleCoder::ulawToLinear(c)), c);
        }
    }
}

// Decoding stops at the last whole sample, frame or ADPCM run: it never
// reads past the length.
TEST(AudioSampleCoderTest, DecodeNeverReadsPastTheLength) {
    struct Case {
        AudioStreamBasicDescription f;
        size_t length;
        size_t samples;
    } cases[] = {
        {format(kAudioFormatLinearPCM), 7, 3},
        {format(kAudioFormatLinearPCM, 2), 7, 2},
        {format(kAudioFormatLinearPCM, 1, 8), 7, 7},
        {format(kAudioFormatALaw, 2), 5, 4},
        {format(kAudioFormatULaw), 1, 1},
        {format(kAudioFormatDVIIntelIMA, 1, 4, 164), 3, 0},          // no whole header
        {format(kAudioFormatDVIIntelIMA, 1, 4, 164), 4, 1},          // header only
        {format(kAudioFormatDVIIntelIMA, 1, 4, 164), 11, 9},         // header + one run
        {format(kAudioFormatDVIIntelIMA, 1, 4, 164), 164 + 8, 321 + 9},
        {format(kAudioFormatDVIIntelIMA, 2, 4, 164), 164, 2 * (1 + 19 * 8)},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes(c.length, 0x11);
        std::vector<int16_t> out;
        AudioSampleCoder::decode(c.f, bytes.data(), bytes.size(), out);
        EXPECT_EQ(out.size(), c.samples) << c.f.mFormatID << " " << c.length;
    }
}

TEST(AudioSampleCoderTest, UnsupportedFormats) {
    EXPECT_FALSE(AudioSampleCoder::supports(format(0x1234)));
    EXPECT_FALSE(AudioSampleCoder::supports(format(kAudioFormatLinearPCM, 1, 12)));
    EXPECT_FALSE(AudioSampleCoder::supports(format(kAudioFormatDVIIntelIMA, 1, 4, 7)));
    auto noRate = format(kAudioFormatALaw);
    noRate.mSampleRate = 0;
    EXPECT_FALSE(AudioSampleCoder::supports(noRate));
    EXPECT_FALSE(AudioSampleCoder::supports(AudioStreamBasicDescription{}));
}

// Encoded IMA ADPCM and PCM decode back to the input (ADPCM within its
// step size).
TEST(AudioSampleCoderTest, EncodeDecodeRoundTrip) {
    std::vector<int16_t> tone;
    for (int n = 0; n < 321 * 3 + 50; ++n)
        tone.push_back(static_cast<int16_t>(8000 * std::sin(2 * M_PI * 300.0 * n / 8000.0)));
    for (auto f : {format(kAudioFormatLinearPCM), format(kAudioFormatDVIIntelIMA, 1, 4, 164)}) {
        AudioSampleCoder coder(f);
        std::vector<uint8_t> bytes;
        coder.encode(tone.data(), tone.size(), bytes);
        std::vector<int16_t> back;
        AudioSampleCoder::decode(f, bytes.data(), bytes.size(), back);
        if (f.mFormatID == kAudioFormatLinearPCM) {
            EXPECT_EQ(back, tone);
        } else {
            ASSERT_EQ(bytes.size(), 3u * 164);  // whole blocks only; the rest waits
            ASSERT_EQ(back.size(), 3u * 321);
            double err = 0, sig = 0;
            for (size_t i = 0; i < back.size(); ++i) {
                err += double(back[i] - tone[i]) * (back[i] - tone[i]);
                sig += double(tone[i]) * tone[i];
            }
            EXPECT_GT(10 * std::log10(sig / err), 20.0);
        }
    }
}
