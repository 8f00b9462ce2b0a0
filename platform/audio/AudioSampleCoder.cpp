#include "platform/audio/AudioSampleCoder.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

constexpr int kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr size_t kImaHeaderBytes = 4;  // per channel
constexpr size_t kImaRunBytes = 4;     // per channel: 8 codes

int clampIndex(int i) { return std::clamp(i, 0, 88); }
int clampSample(int s) { return std::clamp(s, -32768, 32767); }

// One IMA ADPCM step: the predictor and index advance by code `nibble`.
int imaDecodeStep(int nibble, int& predictor, int& index) {
    int step = kImaStep[index];
    int diff = step >> 3;
    if (nibble & 4) diff += step;
    if (nibble & 2) diff += step >> 1;
    if (nibble & 1) diff += step >> 2;
    predictor = clampSample((nibble & 8) ? predictor - diff : predictor + diff);
    index = clampIndex(index + kImaIndex[nibble]);
    return predictor;
}

int imaEncodeStep(int sample, int& predictor, int& index) {
    int diff = sample - predictor;
    int nibble = 0;
    if (diff < 0) {
        nibble = 8;
        diff = -diff;
    }
    int step = kImaStep[index];
    if (diff >= step) { nibble |= 4; diff -= step; }
    step >>= 1;
    if (diff >= step) { nibble |= 2; diff -= step; }
    step >>= 1;
    if (diff >= step) nibble |= 1;
    imaDecodeStep(nibble, predictor, index);  // track the decoder exactly
    return nibble;
}

void decodeIma(const uint8_t* data, size_t length, uint32_t channels, size_t blockBytes, std::vector<int16_t>& out) {
    const size_t header = kImaHeaderBytes * channels;
    const size_t run = kImaRunBytes * channels;
    if (blockBytes < header) return;
    for (size_t at = 0; at + header <= length; at += blockBytes) {
        size_t blockLen = std::min(blockBytes, length - at);
        const uint8_t* block = data + at;
        std::vector<int> predictor(channels), index(channels);
        for (uint32_t c = 0; c < channels; ++c) {
            const uint8_t* h = block + c * kImaHeaderBytes;
            predictor[c] = static_cast<int16_t>(static_cast<uint16_t>(h[0] | (h[1] << 8)));
            index[c] = clampIndex(h[2]);
        }
        for (uint32_t c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(predictor[c]));
        size_t runs = (blockLen - header) / run;
        int16_t frame[8 * 8];  // up to 8 channels, 8 codes each
        for (size_t r = 0; r < runs; ++r) {
            const uint8_t* codes = block + header + r * run;
            for (uint32_t c = 0; c < channels; ++c) {
                for (int b = 0; b < 4; ++b) {
                    uint8_t byte = codes[c * kImaRunBytes + b];
                    frame[(2 * b) * channels + c] = static_cast<int16_t>(imaDecodeStep(byte & 0x0F, predictor[c], index[c]));
                    frame[(2 * b + 1) * channels + c] =
                        static_cast<int16_t>(imaDecodeStep(byte >> 4, predictor[c], index[c]));
                }
            }
            out.insert(out.end(), frame, frame + 8 * channels);
        }
    }
}

}  // namespace

int16_t AudioSampleCoder::alawToLinear(uint8_t a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    int seg = (a & 0x70) >> 4;
    switch (seg) {
    case 0: t += 8; break;
    case 1: t += 0x108; break;
    default: t += 0x108; t <<= seg - 1;
    }
    return static_cast<int16_t>((a & 0x80) ? t : -t);
}

int16_t AudioSampleCoder::ulawToLinear(uint8_t u) {
    u = static_cast<uint8_t>(~u);
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return static_cast<int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

uint8_t AudioSampleCoder::linearToAlaw(int16_t pcm) {
    static constexpr int kSegEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int v = pcm >> 3;
    int mask;
    if (v >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        v = -v - 1;
    }
    int seg = 0;
    while (seg < 8 && v > kSegEnd[seg]) ++seg;
    if (seg >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    int a = seg << 4;
    a |= (seg < 2 ? (v >> 1) : (v >> seg)) & 0x0F;
    return static_cast<uint8_t>(a ^ mask);
}

uint8_t AudioSampleCoder::linearToUlaw(int16_t pcm) {
    static constexpr int kSegEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
    int v = pcm >> 2;
    int mask = 0xFF;
    if (v < 0) {
        v = -v;
        mask = 0x7F;
    }
    v = std::min(v, 8159) + (0x84 >> 2);
    int seg = 0;
    while (seg < 8 && v > kSegEnd[seg]) ++seg;
    if (seg >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    int u = (seg << 4) | ((v >> (seg + 1)) & 0x0F);
    return static_cast<uint8_t>(u ^ mask);
}

size_t AudioSampleCoder::imaFramesPerBlock(size_t blockBytes, uint32_t channels) {
    if (channels == 0) return 0;
    size_t header = kImaHeaderBytes * channels, run = kImaRunBytes * channels;
    if (blockBytes < header + run) return 0;
    return 1 + (blockBytes - header) / run * 8;
}

bool AudioSampleCoder::supports(const AudioStreamBasicDescription& f) {
    if (!(f.mSampleRate >= 1.0 && f.mSampleRate <= 384000.0)) return false;
    if (f.mChannelsPerFrame > 8) return false;
    switch (f.mFormatID) {
    case kAudioFormatLinearPCM:
        if (f.mFormatFlags & kAudioFormatFlagIsFloat) return false;
        return f.mBitsPerChannel == 8 || f.mBitsPerChannel == 16;
    case kAudioFormatALaw:
    case kAudioFormatULaw:
        return true;
    case kAudioFormatDVIIntelIMA:
        return imaFramesPerBlock(f.mBytesPerPacket, channels(f)) > 0;
    default:
        return false;
    }
}

uint32_t AudioSampleCoder::channels(const AudioStreamBasicDescription& f) {
    return std::max<uint32_t>(1, f.mChannelsPerFrame);
}

uint32_t AudioSampleCoder::frameRate(const AudioStreamBasicDescription& f) {
    return static_cast<uint32_t>(std::max(1.0, std::round(f.mSampleRate)));
}

void AudioSampleCoder::decode(const AudioStreamBasicDescription& f, const uint8_t* data, size_t length,
                              std::vector<int16_t>& out) {
    if (!data || length == 0 || !supports(f)) return;
    const uint32_t ch = channels(f);
    switch (f.mFormatID) {
    case kAudioFormatLinearPCM: {
        const bool big = f.mFormatFlags & kAudioFormatFlagIsBigEndian;
        const bool isSigned = f.mFormatFlags & kAudioFormatFlagIsSignedInteger;
        if (f.mBitsPerChannel == 16) {
            size_t samples = length / 2 / ch * ch;
            for (size_t i = 0; i < samples; ++i) {
                uint16_t v = big ? static_cast<uint16_t>((data[2 * i] << 8) | data[2 * i + 1])
                                 : static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
                out.push_back(static_cast<int16_t>(isSigned ? v : v ^ 0x8000));
            }
        } else {
            size_t samples = length / ch * ch;
            for (size_t i = 0; i < samples; ++i) {
                int v = isSigned ? static_cast<int8_t>(data[i]) : static_cast<int>(data[i]) - 128;
                out.push_back(static_cast<int16_t>(v * 256));
            }
        }
        break;
    }
    case kAudioFormatALaw: {
        size_t samples = length / ch * ch;
        for (size_t i = 0; i < samples; ++i) out.push_back(alawToLinear(data[i]));
        break;
    }
    case kAudioFormatULaw: {
        size_t samples = length / ch * ch;
        for (size_t i = 0; i < samples; ++i) out.push_back(ulawToLinear(data[i]));
        break;
    }
    case kAudioFormatDVIIntelIMA:
        decodeIma(data, length, ch, f.mBytesPerPacket, out);
        break;
    default:
        break;
    }
}

AudioSampleCoder::AudioSampleCoder(const AudioStreamBasicDescription& format)
    : format_(format), channels_(channels(format)) {
    switch (format.mFormatID) {
    case kAudioFormatLinearPCM: packetBytes_ = channels_ * (format.mBitsPerChannel == 8 ? 1 : 2); break;
    case kAudioFormatDVIIntelIMA:
        imaFrames_ = imaFramesPerBlock(format.mBytesPerPacket, channels_);
        packetBytes_ = imaFrames_ ? format.mBytesPerPacket : 0;
        imaIndex_.assign(channels_, 0);
        break;
    default: packetBytes_ = channels_; break;
    }
}

void AudioSampleCoder::encodeImaBlock(std::vector<uint8_t>& out) {
    const size_t base = out.size();
    out.resize(base + packetBytes_, 0);
    uint8_t* block = out.data() + base;
    std::vector<int> predictor(channels_);
    for (uint32_t c = 0; c < channels_; ++c) {
        predictor[c] = pending_[c];
        uint8_t* h = block + c * kImaHeaderBytes;
        h[0] = static_cast<uint8_t>(predictor[c] & 0xFF);
        h[1] = static_cast<uint8_t>((predictor[c] >> 8) & 0xFF);
        h[2] = static_cast<uint8_t>(imaIndex_[c]);
        h[3] = 0;
    }
    const size_t runs = (imaFrames_ - 1) / 8;
    uint8_t* codes = block + kImaHeaderBytes * channels_;
    for (size_t r = 0; r < runs; ++r) {
        for (uint32_t c = 0; c < channels_; ++c) {
            for (int b = 0; b < 4; ++b) {
                size_t f0 = 1 + r * 8 + 2 * b;
                int lo = imaEncodeStep(pending_[f0 * channels_ + c], predictor[c], imaIndex_[c]);
                int hi = imaEncodeStep(pending_[(f0 + 1) * channels_ + c], predictor[c], imaIndex_[c]);
                codes[(r * channels_ + c) * kImaRunBytes + b] = static_cast<uint8_t>(lo | (hi << 4));
            }
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(imaFrames_ * channels_));
}

void AudioSampleCoder::encode(const int16_t* frames, size_t frameCount, std::vector<uint8_t>& out) {
    if (!frames || frameCount == 0 || packetBytes_ == 0) return;
    const size_t samples = frameCount * channels_;
    switch (format_.mFormatID) {
    case kAudioFormatLinearPCM: {
        const bool big = format_.mFormatFlags & kAudioFormatFlagIsBigEndian;
        const bool isSigned = format_.mFormatFlags & kAudioFormatFlagIsSignedInteger;
        for (size_t i = 0; i < samples; ++i) {
            uint16_t v = static_cast<uint16_t>(frames[i]);
            if (!isSigned) v ^= 0x8000;
            if (format_.mBitsPerChannel == 8) {
                out.push_back(static_cast<uint8_t>(v >> 8));
            } else if (big) {
                out.push_back(static_cast<uint8_t>(v >> 8));
                out.push_back(static_cast<uint8_t>(v & 0xFF));
            } else {
                out.push_back(static_cast<uint8_t>(v & 0xFF));
                out.push_back(static_cast<uint8_t>(v >> 8));
            }
        }
        break;
    }
    case kAudioFormatALaw:
        for (size_t i = 0; i < samples; ++i) out.push_back(linearToAlaw(frames[i]));
        break;
    case kAudioFormatULaw:
        for (size_t i = 0; i < samples; ++i) out.push_back(linearToUlaw(frames[i]));
        break;
    case kAudioFormatDVIIntelIMA:
        pending_.insert(pending_.end(), frames, frames + samples);
        while (pending_.size() >= imaFrames_ * channels_) encodeImaBlock(out);
        break;
    default:
        break;
    }
}

}  // namespace lumora
