#include "base/decoder/QvVideoDecoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <thread>

#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvYuv2RGB.h"
#include "platform/Log.h"
#include "platform/graphics/Screen.h"

namespace lumora {

namespace {

// Frames the codec may still hold back for reordering are remembered by tag;
// H.264 holds at most 16, so anything older is gone for good.
constexpr size_t kMaxFramesInCodec = 32;
// Longest timer period accepted, so absurd intervals cannot overflow.
constexpr double kMaxIntervalMs = 3600.0 * 1000.0;

}  // namespace

std::shared_ptr<QvVideoDecoder> QvVideoDecoder::create() { return create({}, nullptr); }

std::shared_ptr<QvVideoDecoder> QvVideoDecoder::create(std::weak_ptr<QvVideoDecoderDelegate> delegate,
                                                       DispatchQueuePtr decoderQueue) {
    return std::shared_ptr<QvVideoDecoder>(new QvVideoDecoder(std::move(delegate), std::move(decoderQueue)));
}

QvVideoDecoder::QvVideoDecoder(std::weak_ptr<QvVideoDecoderDelegate> delegate, DispatchQueuePtr queue)
    : delegate_(std::move(delegate)),
      queue_(queue ? std::move(queue) : DispatchQueue::createSerial(kQueueLabel)) {}

QvVideoDecoder::~QvVideoDecoder() {
    // Nothing else can run on the decoder now: ticks and queued tasks hold a
    // strong reference while they run. The timer only holds a weak one.
    cancelTimer();
}

void QvVideoDecoder::runSync(const std::function<void()>& task) const { queue_->sync(task); }

void QvVideoDecoder::runAsync(std::function<void(QvVideoDecoder&)> task) {
    if (queue_->isCurrent()) {
        task(*this);
        return;
    }
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    queue_->async([weak, task = std::move(task)] {
        if (auto self = weak.lock()) task(*self);
    });
}

// ---- set-up and tear-down -------------------------------------------------

bool QvVideoDecoder::setupDecoder(double intervalMs, int outputFormat, int livePreference) {
    bool ok = false;
    runSync([&] { ok = setupOnQueue(intervalMs, outputFormat, livePreference); });
    return ok;
}

bool QvVideoDecoder::setupOnQueue(double intervalMs, int outputFormat, int livePreference) {
    isDecoding_ = true;
    decodeTimeThreshold_ = intervalMs;
    callCount_ = 0;
    totalCost_ = averageCost_ = 0;
    bufferReady_ = false;
    bufferSize_ = 0;
    outputFormat_ = outputFormat;
    // A second set-up replaces the first timer, never adds one.
    cancelTimer();

    if (!(intervalMs > 0) || !std::isfinite(intervalMs)) {
        Log::warn("QvVideoDecoder", "frame interval %g ms is not positive; not decoding", intervalMs);
        setupFailed_ = true;
        return false;
    }
    if (!codec_.open()) {
        Log::warn("QvVideoDecoder", "%s", codec_.lastError().c_str());
        setupFailed_ = true;
        return false;
    }
    setupFailed_ = false;
    shouldDropFrame_ = false;
    inCodec_.clear();
    // A new stream: what waited from the one before never reaches the
    // reopened codec, and its frame numbers start again.
    {
        std::lock_guard<std::mutex> lock(videoLock_);
        frameList_.clear();
    }
    lastframe_ = 0;
    draining_ = false;
    drained_ = nullptr;
    frameInterval_ =
        std::chrono::nanoseconds(std::max<int64_t>(1, std::llround(std::min(intervalMs, kMaxIntervalMs) * 1e6)));

    const double interval = std::min(intervalMs, kMaxIntervalMs);
    double periodMs = interval;
    // The 640 x 960 screen mode draws a little slower; tick 5 ms early, as
    // long as that leaves a period.
    if (Screen::main().currentModeSize() == Screen::Size{640, 960} && interval - 5.0 > 0) periodMs = interval - 5.0;
    timerPeriod_ = std::chrono::nanoseconds(std::max<int64_t>(1, std::llround(periodMs * 1e6)));

    const double seconds = livePreference == 0 ? 1.0 : 5.0;
    const double door = seconds * 1000.0 / intervalMs + bufferSize_;
    jumpDoor_ = door >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(door);

    if (outputFormat_ != 0) QvYuv2RGB::setupDitherTable();
    // Lateness is made up for up to the jump door's worth of frames at once.
    pacing_.start(frameInterval_, frameInterval_ * std::max(jumpDoor_, 1), kMaxLiveBacklog);

    decodeTimer_ = DispatchSource::makeTimer(queue_);
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    // On the YUV path frames are decoded as they come and when they are
    // due (see LivePacing); the timer only looks again at what waits, so
    // it never decodes a frame early on a phase of its own.
    decodeTimer_->setEventHandler([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->outputFormat_ != 0)
            self->decodeOneFrameToRGB();
        else
            self->paceLive(false);
    });
    decodeTimer_->setTimer(std::chrono::nanoseconds(0), timerPeriod_, std::chrono::nanoseconds(0));
    decodeTimer_->resume();
    return true;
}

void QvVideoDecoder::cancelTimer() {
    if (decodeTimer_) {
        decodeTimer_->cancel();
        decodeTimer_.reset();
    }
    timerPeriod_ = std::chrono::nanoseconds(0);
}

void QvVideoDecoder::destroy() {
    isDecoding_ = false;
    ++epoch_;
    runSync([this] { destroyOnQueue(); });
}

void QvVideoDecoder::destroyOnQueue() {
    // A tick that ran while destroy() waited for the queue may have posted
    // its picture with the epoch destroy() had just advanced: drop that too.
    ++epoch_;
    cancelTimer();
    {
        std::lock_guard<std::mutex> lock(videoLock_);
        frameList_.clear();
    }
    codec_.close();
    inCodec_.clear();
    pacing_.stop();
    draining_ = false;
    drained_ = nullptr;
    picturePool_.clear();
    decodeTimeThreshold_ = kDefaultThresholdMs;
    callCount_ = 0;
    totalCost_ = averageCost_ = 0;
    dropFrameIfNeeded_ = false;
    bufferReady_ = false;
}

// ---- frame list -----------------------------------------------------------

void QvVideoDecoder::decodeFrame(FramePtr frame) {
    if (!frame) return;
    runAsync([frame = std::move(frame)](QvVideoDecoder& self) mutable { self.appendFrame(std::move(frame)); });
}

void QvVideoDecoder::decodeFrame(const MediaFrame& frame) { decodeFrame(std::make_shared<const MediaFrame>(frame)); }

void QvVideoDecoder::appendFrame(FramePtr frame) {
    // Nobody would ever decode these: set-up failed, or destroy() ran.
    if (setupFailed_ || !isDecoding_) return;
    {
        std::lock_guard<std::mutex> lock(videoLock_);
        frameList_.push_back(std::move(frame));
    }
    // Decoded right away when due; posted, so frames handed in together
    // are all listed before pacing looks at them.
    if (outputFormat_ == 0 && decodeTimer_) postPacing();
}

void QvVideoDecoder::removeAllFrame() {
    runSync([this] {
        std::lock_guard<std::mutex> lock(videoLock_);
        frameList_.clear();
    });
    std::this_thread::sleep_for(std::chrono::microseconds(10));
}

QvVideoDecoder::FramePtr QvVideoDecoder::getFirstFrame() {
    FramePtr first;
    runSync([&] {
        if (!frameList_.empty()) first = frameList_.front();
    });
    return first;
}

void QvVideoDecoder::removeFirstFrame() {
    runSync([this] {
        std::lock_guard<std::mutex> lock(videoLock_);
        if (!frameList_.empty()) frameList_.pop_front();
    });
}

void QvVideoDecoder::removeToLastIFrame() {
    runSync([this] {
        std::lock_guard<std::mutex> lock(videoLock_);
        auto newestKey = std::find_if(frameList_.rbegin(), frameList_.rend(),
                                      [](const FramePtr& f) { return f->keyFrame; });
        if (newestKey == frameList_.rend()) return;
        frameList_.erase(frameList_.begin(), std::prev(newestKey.base()));
    });
}

// ---- ticks ----------------------------------------------------------------

void QvVideoDecoder::timerTick() {
    runSync([this] {
        if (outputFormat_ != 0) {
            decodeOneFrameToRGB();
            return;
        }
        paceLive(true);
    });
}

void QvVideoDecoder::postPacing() {
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    queue_->async([weak] {
        if (auto self = weak.lock()) self->paceLive(false);
    });
}

void QvVideoDecoder::paceLive(bool tick) {
    if (!isDecoding_ || outputFormat_ != 0 || !decodeTimer_) return;
    if (frameList_.size() > static_cast<size_t>(std::max(jumpDoor_, 0))) removeToLastIFrame();
    bool force = tick;
    while (!frameList_.empty() && isDecoding_) {
        const auto now = std::chrono::steady_clock::now();
        if (!force && !pacing_.decodeNow(now, frameList_.size())) break;
        force = false;
        decodeOneFrameToYUV();
        pacing_.decoded(now);
    }
    if (frameList_.empty()) {
        if (draining_) finishDrain();
        return;
    }
    scheduleWake(pacing_.wakeAt(frameList_.size()));
}

void QvVideoDecoder::scheduleWake(std::chrono::steady_clock::time_point at) {
    if (wakeScheduled_) return;
    wakeScheduled_ = true;
    const auto delay = std::max<std::chrono::nanoseconds>(at - std::chrono::steady_clock::now(),
                                                           std::chrono::nanoseconds(0));
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    queue_->after(delay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->wakeScheduled_ = false;
        self->paceLive(false);
    });
}

void QvVideoDecoder::finishStream(std::function<void()> done) {
    if (!done) done = [] {};
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    queue_->async([weak, done = std::move(done)]() mutable {
        auto self = weak.lock();
        if (!self) return;
        if (!self->isDecoding_) return;  // destroyed: nothing more is delivered
        if (self->setupFailed_ || !self->decodeTimer_ || self->outputFormat_ != 0) {
            DispatchQueue::main()->async(std::move(done));
            return;
        }
        self->draining_ = true;
        self->drained_ = std::move(done);
        self->paceLive(false);
    });
}

void QvVideoDecoder::finishDrain() {
    draining_ = false;
    std::function<void()> done = std::move(drained_);
    drained_ = nullptr;
    if (codec_.isOpen()) {
        std::shared_ptr<QvVideoDecoderDelegate> d = delegate();
        const bool wanted = d && d->implementsDecoderDidDecodeFrameToYUV();
        d.reset();
        codec_.flush([&](const AVFrame& picture, int64_t pictureTag) {
            FramePtr own = recall(pictureTag, nullptr);
            if (!own) return;
            showYuv(picture, own, wanted);
        });
        inCodec_.clear();
    }
    if (!done) return;
    // After the pictures just posted; dropped like them after destroy().
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    const uint64_t epoch = epoch_.load();
    DispatchQueue::main()->async([weak, epoch, done = std::move(done)] {
        auto self = weak.lock();
        if (!self || self->epoch_.load() != epoch) return;
        done();
    });
}

std::shared_ptr<std::vector<uint8_t>> QvVideoDecoder::pictureBuffer() {
    // A buffer only this pool still holds has been shown and let go.
    for (auto& b : picturePool_)
        if (b.use_count() == 1) return b;
    auto fresh = std::make_shared<std::vector<uint8_t>>();
    constexpr size_t kPoolSize = 4;
    if (picturePool_.size() < kPoolSize) picturePool_.push_back(fresh);
    return fresh;
}

void QvVideoDecoder::showYuv(const AVFrame& picture, const FramePtr& own, bool wanted) {
    if (shouldDropFrame_ && !own->keyFrame) return;  // still waiting for a key frame
    shouldDropFrame_ = false;
    if (!wanted) return;
    std::shared_ptr<std::vector<uint8_t>> yuv = pictureBuffer();
    if (!codec_.packYuv420(picture, *yuv)) return;
    auto copy = std::make_shared<MediaFrame>(*own);
    copy->width = picture.width;
    copy->height = picture.height;
    deliver(true, std::move(copy), std::move(yuv));
}

int64_t QvVideoDecoder::remember(const FramePtr& frame) {
    const int64_t tag = nextTag_++;
    inCodec_.emplace(tag, frame);
    while (inCodec_.size() > kMaxFramesInCodec) inCodec_.erase(inCodec_.begin());
    return tag;
}

QvVideoDecoder::FramePtr QvVideoDecoder::recall(int64_t tag, const FramePtr& fallback) {
    auto it = inCodec_.find(tag);
    if (it == inCodec_.end()) return fallback;
    FramePtr f = std::move(it->second);
    inCodec_.erase(it);
    return f;
}

void QvVideoDecoder::decodeOneFrameToYUV() {
    runSync([this] {
        ++callCount_;
        FramePtr frame = getFirstFrame();
        // Nothing to show: the queue stays free for the next frame.
        if (!frame) return;
        removeFirstFrame();
        if (frame->frameIndex <= lastframe_ && frame->frameIndex != 0) {
            shouldDropFrame_ = true;  // stale: not decoded, and the pictures after it need a key frame
            return;
        }
        lastframe_ = frame->frameIndex;
        if (!codec_.isOpen()) {
            shouldDropFrame_ = true;
            return;
        }
        std::shared_ptr<QvVideoDecoderDelegate> d = delegate();
        const bool wanted = d && d->implementsDecoderDidDecodeFrameToYUV();
        d.reset();
        const int64_t tag = remember(frame);
        auto result = codec_.decode(frame->buffer.data(), frame->buffer.size(), tag,
                                    [&](const AVFrame& picture, int64_t pictureTag) {
                                        showYuv(picture, recall(pictureTag, frame), wanted);
                                    });
        if (result == H264Decoder::Result::Failed) {
            inCodec_.erase(tag);
            shouldDropFrame_ = true;
        }
    });
}

bool QvVideoDecoder::checkIfDecodingNeeded() {
    bool needed = false;
    runSync([&] {
        if (frameList_.empty()) {
            bufferReady_ = false;
            return;
        }
        if (frameList_.size() >= bufferSize_) bufferReady_ = true;
        if (dropFrameIfNeeded_ && averageCost_ > decodeTimeThreshold_ && !frameList_.front()->keyFrame) {
            removeFirstFrame();  // decoding is too slow: skip a frame nothing refers back past
            return;
        }
        needed = true;
    });
    return needed;
}

void QvVideoDecoder::decodeOneFrameToRGB() {
    runSync([this] {
        if (!checkIfDecodingNeeded()) return;
        ++callCount_;
        FramePtr frame = getFirstFrame();
        if (codec_.isOpen()) {
            std::shared_ptr<QvVideoDecoderDelegate> d = delegate();
            const bool wanted = d && d->implementsDecoderDidDecodeFrameToRGB();
            d.reset();
            const auto start = std::chrono::steady_clock::now();
            const int64_t tag = remember(frame);
            auto result = codec_.decode(frame->buffer.data(), frame->buffer.size(), tag,
                                        [&](const AVFrame& picture, int64_t pictureTag) {
                                            FramePtr own = recall(pictureTag, frame);
                                            if (!wanted) return;
                                            // Converted straight into the picture handed on.
                                            auto rgb = std::make_shared<std::vector<uint8_t>>();
                                            if (!codec_.convertToRgb32(picture, *rgb)) return;
                                            auto copy = std::make_shared<MediaFrame>(*own);
                                            copy->width = picture.width;
                                            copy->height = picture.height;
                                            deliver(false, std::move(copy), std::move(rgb));
                                        });
            if (result == H264Decoder::Result::Failed) inCodec_.erase(tag);
            const double elapsed =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            totalCost_ += elapsed;
            averageCost_ = totalCost_ / callCount_;
        }
        removeFirstFrame();
    });
}

void QvVideoDecoder::deliver(bool yuv, FramePtr frame, std::shared_ptr<const std::vector<uint8_t>> picture) {
    std::weak_ptr<QvVideoDecoder> weak = weak_from_this();
    const uint64_t epoch = epoch_.load();
    DispatchQueue::main()->async([weak, epoch, yuv, frame = std::move(frame), picture = std::move(picture)] {
        auto self = weak.lock();
        if (!self || self->epoch_.load() != epoch) return;
        auto d = self->delegate();
        if (!d) return;
        if (yuv && d->implementsDecoderDidDecodeFrameToYUV()) d->decoderDidDecodeFrameToYUV(*self, *frame, *picture);
        if (!yuv && d->implementsDecoderDidDecodeFrameToRGB()) d->decoderDidDecodeFrameToRGB(*self, *frame, *picture);
    });
}

// ---- properties -----------------------------------------------------------

std::shared_ptr<QvVideoDecoderDelegate> QvVideoDecoder::delegate() const {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    return delegate_.lock();
}

void QvVideoDecoder::setDelegate(std::weak_ptr<QvVideoDecoderDelegate> delegate) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

unsigned QvVideoDecoder::bufferSize() const {
    unsigned v = 0;
    runSync([&] { v = bufferSize_; });
    return v;
}

void QvVideoDecoder::setBufferSize(unsigned size) {
    runAsync([size](QvVideoDecoder& self) { self.bufferSize_ = size; });
}

bool QvVideoDecoder::dropFrameIfNeeded() const {
    bool v = false;
    runSync([&] { v = dropFrameIfNeeded_; });
    return v;
}

void QvVideoDecoder::setDropFrameIfNeeded(bool drop) {
    runAsync([drop](QvVideoDecoder& self) { self.dropFrameIfNeeded_ = drop; });
}

int QvVideoDecoder::pictureWidth() const {
    int v = 0;
    runSync([&] { v = codec_.width(); });
    return v;
}

int QvVideoDecoder::pictureHeight() const {
    int v = 0;
    runSync([&] { v = codec_.height(); });
    return v;
}

int QvVideoDecoder::jumpDoor() const {
    int v = 0;
    runSync([&] { v = jumpDoor_; });
    return v;
}

std::chrono::nanoseconds QvVideoDecoder::timerPeriod() const {
    std::chrono::nanoseconds v{0};
    runSync([&] { v = timerPeriod_; });
    return v;
}

size_t QvVideoDecoder::frameCount() const {
    size_t v = 0;
    runSync([&] { v = frameList_.size(); });
    return v;
}

int32_t QvVideoDecoder::lastframe() const {
    int32_t v = 0;
    runSync([&] { v = lastframe_; });
    return v;
}

}  // namespace lumora
