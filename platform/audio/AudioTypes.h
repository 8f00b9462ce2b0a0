#pragma once

#include <cstdint>

namespace lumora {

// The records and status codes of the audio queues (AudioOutputQueue,
// AudioInputQueue) and the audio session, shaped like the platform audio
// API the system was designed for.

using OSStatus = int32_t;
using AudioFormatID = uint32_t;

// Audio formats the queues understand.
inline constexpr AudioFormatID kAudioFormatLinearPCM = 0x6C70636D;    // 'lpcm'
inline constexpr AudioFormatID kAudioFormatALaw = 0x616C6177;         // 'alaw'
inline constexpr AudioFormatID kAudioFormatULaw = 0x756C6177;         // 'ulaw'
inline constexpr AudioFormatID kAudioFormatDVIIntelIMA = 0x6D730011;  // IMA ADPCM in blocks (WAVE 0x11)

// Linear PCM flags.
inline constexpr uint32_t kAudioFormatFlagIsFloat = 1u << 0;
inline constexpr uint32_t kAudioFormatFlagIsBigEndian = 1u << 1;
inline constexpr uint32_t kAudioFormatFlagIsSignedInteger = 1u << 2;
inline constexpr uint32_t kAudioFormatFlagIsPacked = 1u << 3;

// Status codes: 0 is success.
inline constexpr OSStatus kAudioNoErr = 0;
inline constexpr OSStatus kAudioQueueErr_InvalidBuffer = -66687;     // not a buffer of this queue
inline constexpr OSStatus kAudioQueueErr_BufferEmpty = -66686;       // enqueued with no bytes
inline constexpr OSStatus kAudioQueueErr_DisposalPending = -66685;   // the queue is disposed
inline constexpr OSStatus kAudioQueueErr_InvalidProperty = -66684;
inline constexpr OSStatus kAudioQueueErr_InvalidParameter = -66678;  // a size or count out of range
inline constexpr OSStatus kAudioQueueErr_BufferInQueue = -66679;     // already enqueued
inline constexpr OSStatus kAudioQueueErr_CannotStart = -66681;       // the sound device did not open
inline constexpr OSStatus kAudioFormatUnsupportedDataFormatError = 0x666D743F;  // 'fmt?'

// The format of a queue's bytes. A-law and mu-law carry one byte per sample
// and channel whatever the byte counts say; IMA ADPCM comes in blocks of
// mBytesPerPacket bytes (a 4-byte header per channel, then 4-bit codes).
struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    AudioFormatID mFormatID = 0;
    uint32_t mFormatFlags = 0;
    uint32_t mBytesPerPacket = 0;
    uint32_t mFramesPerPacket = 0;
    uint32_t mBytesPerFrame = 0;
    uint32_t mChannelsPerFrame = 0;
    uint32_t mBitsPerChannel = 0;
    uint32_t mReserved = 0;
};

// Where one packet lies in a buffer (16 bytes).
struct AudioStreamPacketDescription {
    int64_t mStartOffset = 0;
    uint32_t mVariableFramesInPacket = 0;
    uint32_t mDataByteSize = 0;
};
static_assert(sizeof(AudioStreamPacketDescription) == 16);

// One buffer of a queue. The queue allocates and owns it; its owner fills
// (output) or reads (input) the bytes between handing it over.
struct AudioQueueBuffer {
    uint32_t mAudioDataBytesCapacity = 0;
    uint8_t* mAudioData = nullptr;
    uint32_t mAudioDataByteSize = 0;
    void* mUserData = nullptr;
    uint32_t mPacketDescriptionCapacity = 0;
    AudioStreamPacketDescription* mPacketDescriptions = nullptr;
    uint32_t mPacketDescriptionCount = 0;
};
using AudioQueueBufferRef = AudioQueueBuffer*;

}  // namespace lumora
