#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "base/decoder/H264Decoder.h"
#include "base/decoder/LivePacing.h"
#include "base/decoder/QvVideoDecoderDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSource.h"

namespace lumora {

class MediaFrame;

// Decodes the H.264 frames of one live stream at the stream's frame pace.
//
// Frames handed in with decodeFrame() wait in a list; a timer on the
// decoder's serial queue ("com.lumora.decoder") decodes them at the frame
// pace and hands each picture to the delegate on the main queue, as planar
// YUV 4:2:0 (output format 0) or as 32-bit RGB (any other format). When more
// than jumpDoor() frames wait, the YUV path first drops everything before
// the newest key frame, so live video stays close to real time.
//
// YUV pacing (LivePacing) never lets lateness build up: the first frame is
// decoded as it arrives, a later one as it arrives when the picture before
// it was shown at least half an interval ago or its deadline (one interval
// after the one before) has passed; deadlines that passed are made up for
// (up to the jump door's worth, so a device that stalled is caught up
// with), frames that come in a burst are spread out, and no more than
// kMaxLiveBacklog frames are ever kept waiting. The timer at the frame
// interval only looks again at what waits; it never decodes a frame early
// on a phase of its own.
//
// Each set-up starts a new stream: the list is emptied and the stale-frame
// test starts again, so a device that numbers its frames from 1 after a
// new login is not taken for an old one.
//
// Lifetime: made with create() and owned through shared_ptr. The timer and
// every posted delivery hold only weak references: once the owner lets go of
// the decoder, or after destroy(), nothing more is delivered. The delegate is
// held weakly and read when a delivery runs, so a delegate cleared (or gone)
// in the meantime receives nothing.
//
// Threads: every operation may be called from any thread. Getters, set-up,
// destroy(), removeAllFrame() and the list steps wait for the decoder queue;
// setters and decodeFrame() do not. Called on the decoder queue itself, they
// act at once.
class QvVideoDecoder : public std::enable_shared_from_this<QvVideoDecoder> {
public:
    using FramePtr = std::shared_ptr<const MediaFrame>;

    static constexpr const char* kQueueLabel = "com.lumora.decoder";
    static constexpr double kDefaultThresholdMs = 50.0;
    // Frames a live view keeps waiting at most; beyond, they are decoded at once.
    static constexpr size_t kMaxLiveBacklog = 2;

    // A decoder without delegate on its own new queue.
    static std::shared_ptr<QvVideoDecoder> create();
    // `decoderQueue` may be null: the decoder then makes its own serial queue.
    static std::shared_ptr<QvVideoDecoder> create(std::weak_ptr<QvVideoDecoderDelegate> delegate,
                                                  DispatchQueuePtr decoderQueue);
    ~QvVideoDecoder();
    QvVideoDecoder(const QvVideoDecoder&) = delete;
    QvVideoDecoder& operator=(const QvVideoDecoder&) = delete;

    // Opens the codec and starts the pacing timer at `intervalMs` (5 ms less
    // on a 640 x 960 screen mode). The jump door is one second of frames, or
    // five when `livePreference` (the application's live preference, as the
    // caller reads it for this set-up) is not 0. False when the interval is
    // not a positive number or the codec cannot be opened; the decoder then
    // starts no timer and drops the frames it is given until a set-up
    // succeeds.
    bool setupDecoder(double intervalMs, int outputFormat, int livePreference);

    // Queues one frame (a null frame is ignored). The frame is shared, not
    // copied; the caller must not change it afterwards.
    void decodeFrame(FramePtr frame);
    void decodeFrame(const MediaFrame& frame);  // queues a copy

    // The stream ends (a recording played from the device reached its end):
    // the waiting frames are still decoded at their pace, then the pictures
    // the codec holds back are delivered, and then `done` runs on the main
    // queue, after the last picture. Not called when destroy() comes first,
    // nor without a working set-up (then `done` runs at once, on the main
    // queue).
    void finishStream(std::function<void()> done);

    // Empties the frame list.
    void removeAllFrame();
    // Stops decoding: cancels the timer, empties the list and closes the
    // codec. Pictures already posted to the main queue are not delivered.
    void destroy();

    std::shared_ptr<QvVideoDecoderDelegate> delegate() const;
    void setDelegate(std::weak_ptr<QvVideoDecoderDelegate> delegate);
    unsigned bufferSize() const;
    void setBufferSize(unsigned size);
    bool dropFrameIfNeeded() const;
    void setDropFrameIfNeeded(bool drop);
    // Size of the stream's pictures as the codec knows it; 0 before set-up.
    int pictureWidth() const;
    int pictureHeight() const;

    // The frame count above which the YUV tick jumps to the newest key frame.
    int jumpDoor() const;
    // The pacing timer's period; 0 while no timer runs.
    std::chrono::nanoseconds timerPeriod() const;
    size_t frameCount() const;
    int32_t lastframe() const;
    const DispatchQueuePtr& decoderQueue() const { return queue_; }

    // The steps of a tick, each run on the decoder queue (tests drive them
    // one by one).
    FramePtr getFirstFrame();
    void removeFirstFrame();
    // Drops every frame before the newest key frame; a list without a key
    // frame stays as it is.
    void removeToLastIFrame();
    // RGB gate: whether this tick decodes.
    bool checkIfDecodingNeeded();
    void decodeOneFrameToYUV();
    void decodeOneFrameToRGB();
    // One frame-pace tick, for tests that step the decoder: decodes the
    // first waiting frame whatever its deadline (the RGB path: one frame, as
    // its timer does), then on the YUV path whatever else is due.
    void timerTick();

private:
    QvVideoDecoder(std::weak_ptr<QvVideoDecoderDelegate> delegate, DispatchQueuePtr queue);

    void runSync(const std::function<void()>& task) const;
    // Decodes what is due on the YUV path; `tick` decodes at least one frame.
    void paceLive(bool tick);
    void postPacing();
    void scheduleWake(std::chrono::steady_clock::time_point at);
    void finishDrain();
    void showYuv(const AVFrame& picture, const FramePtr& own, bool wanted);
    std::shared_ptr<std::vector<uint8_t>> pictureBuffer();
    void runAsync(std::function<void(QvVideoDecoder&)> task);

    bool setupOnQueue(double intervalMs, int outputFormat, int livePreference);
    void destroyOnQueue();
    void appendFrame(FramePtr frame);
    void cancelTimer();
    int64_t remember(const FramePtr& frame);
    FramePtr recall(int64_t tag, const FramePtr& fallback);
    void deliver(bool yuv, FramePtr frame, std::shared_ptr<const std::vector<uint8_t>> picture);

    // Not owned; read under delegateMutex_ (deliveries run on the main queue).
    mutable std::mutex delegateMutex_;
    std::weak_ptr<QvVideoDecoderDelegate> delegate_;

    DispatchQueuePtr queue_;
    // Everything below is touched on queue_ only, except the atomics.
    DispatchSourcePtr decodeTimer_;
    std::chrono::nanoseconds timerPeriod_{0};
    std::mutex videoLock_;  // around changes of the frame list
    std::deque<FramePtr> frameList_;
    H264Decoder codec_;
    double decodeTimeThreshold_ = kDefaultThresholdMs;
    int outputFormat_ = 0;
    unsigned callCount_ = 0;
    double totalCost_ = 0;
    double averageCost_ = 0;
    unsigned bufferSize_ = 0;
    bool bufferReady_ = false;
    bool dropFrameIfNeeded_ = false;
    bool shouldDropFrame_ = false;
    bool setupFailed_ = false;
    int32_t lastframe_ = 0;
    int jumpDoor_ = 0;
    // Frames handed to the codec whose picture may still come out, by tag.
    std::map<int64_t, FramePtr> inCodec_;
    int64_t nextTag_ = 0;
    // YUV pacing.
    std::chrono::nanoseconds frameInterval_{0};
    LivePacing pacing_;
    bool wakeScheduled_ = false;
    // finishStream(): drain the list, flush the codec, then run drained_.
    bool draining_ = false;
    std::function<void()> drained_;
    // Picture buffers handed to the main queue, reused once it let go.
    std::vector<std::shared_ptr<std::vector<uint8_t>>> picturePool_;

    std::atomic<bool> isDecoding_{true};
    // Advanced by destroy(): deliveries posted before it are dropped.
    std::atomic<uint64_t> epoch_{0};
};

}  // namespace lumora
