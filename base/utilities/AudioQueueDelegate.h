#pragma once

#include "platform/audio/AudioTypes.h"

namespace lumora {

class AudioQueue;

// What an AudioQueue tells its owner. All callbacks are required.
class AudioQueueDelegate {
public:
    virtual ~AudioQueueDelegate() = default;
    // A buffer was played (on the run loop the output queue was made on);
    // `buffer` may be null when the owner calls it itself.
    virtual void audioQueueIsDoneWithBuffer(AudioQueue& queue, AudioQueueBufferRef buffer) = 0;
    // The output queue started or stopped running (on a thread of the
    // sound backend).
    virtual void audioQueuePlaybackIsStarting(AudioQueue& queue) = 0;
    virtual void audioQueuePlaybackIsComplete(AudioQueue& queue) = 0;
};

}  // namespace lumora
