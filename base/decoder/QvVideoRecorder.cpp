#include "base/decoder/QvVideoRecorder.h"
#include "platform/Log.h"

#include <cstdio>
#include <filesystem>

namespace lumora {

namespace {

// Offset of the next Annex B start code (00 00 01, or 00 00 00 01) at or
// after from, and its length; size when there is none.
size_t nextStartCode(const std::vector<uint8_t>& b, size_t from, size_t& length) {
    for (size_t i = from; i + 3 <= b.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0) continue;
        if (b[i + 2] == 1) {
            length = 3;
            return i;
        }
        if (b[i + 2] == 0 && i + 4 <= b.size() && b[i + 3] == 1) {
            length = 4;
            return i;
        }
    }
    length = 0;
    return b.size();
}

}  // namespace

QvVideoRecorder::~QvVideoRecorder() {
    std::lock_guard<std::mutex> guard(_lock);
    if (_recording) stopLocked();
}

bool QvVideoRecorder::start(const std::string& path, int width, int height, int sampleDuration) {
    std::lock_guard<std::mutex> guard(_lock);
    if (_recording) {
        Log::warn("video recorder", "already recording, %s not opened", path.c_str());
        _currentFileName = path;
        return true;
    }
    _currentFileName = path;
    if (int rc = _mp4Writer.Open(path.c_str()); rc != 0) {
        Log::error("video recorder", "cannot open %s (%d)", path.c_str(), rc);
        return false;
    }
    _mp4Writer.AddVideoTrack(1000, sampleDuration, static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    if (int rc = _mp4Writer.WriteHeader(); rc != 0) {
        // Nothing could be written: leave no broken file behind (only a
        // regular file this call made; never a device or anything else).
        Log::error("video recorder", "cannot write to %s (%d)", path.c_str(), rc);
        _mp4Writer.Close();
        std::error_code ec;
        if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::regular) {
            std::filesystem::remove(path, ec);
        }
        return false;
    }
    _h264Parser.Reset();
    _recording = true;
    writeFrameListToFile();
    return true;
}

void QvVideoRecorder::addFrame(const MediaFrame& frame) { addFrame(std::make_shared<const MediaFrame>(frame)); }

void QvVideoRecorder::addFrame(FramePtr frame) {
    if (!frame) return;
    std::lock_guard<std::mutex> guard(_lock);
    if (_recording) {
        writeFrameToFile(*frame);
        return;
    }
    // A key frame makes everything before it useless: a recording starts at
    // the newest key frame, never at a picture from long before the start.
    if (frame->keyFrame) {
        _frameList.clear();
        _frameListBytes = 0;
    }
    if (_frameListBytes + frame->buffer.size() > _preRecordLimit) {
        // A stream without key frames for this long: start over.
        _frameList.clear();
        _frameListBytes = 0;
    }
    _frameListBytes += frame->buffer.size();
    _frameList.push_back(std::move(frame));
}

void QvVideoRecorder::writeFrameListToFile() {
    bool keyFound = false;
    for (const auto& frame : _frameList) {
        if (!keyFound && !frame->keyFrame) continue;
        keyFound = true;
        writeFrameToFile(*frame);
    }
    // Without a key frame so far the recording begins at the next one.
    _waitingForKeyFrame = !keyFound;
}

void QvVideoRecorder::writeFrameToFile(const MediaFrame& frame) {
    if (_waitingForKeyFrame) {
        if (!frame.keyFrame) return;
        _waitingForKeyFrame = false;
    }
    const std::vector<uint8_t>& b = frame.buffer;
    if (b.empty()) return;
    // NAL units run from one start code to the next; bytes before the first
    // start code (a frame without one) make a unit of their own.
    size_t begin = 0;
    size_t scLength = 0;
    size_t searchFrom = nextStartCode(b, 0, scLength) == 0 ? scLength : 0;
    for (;;) {
        size_t nextLength = 0;
        const size_t next = nextStartCode(b, searchFrom, nextLength);
        if (next >= b.size()) break;
        if (next > begin) writeNal(b.data() + begin, next - begin, frame, false);
        begin = next;
        searchFrom = next + nextLength;
    }
    if (begin < b.size()) writeNal(b.data() + begin, b.size() - begin, frame, true);
}

void QvVideoRecorder::writeNal(const uint8_t* nal, size_t n, const MediaFrame& frame, bool endOfFrame) {
    const bool wasSlice = _h264Parser.SliceHeader().is_slice != 0;
    const uint32_t lastFrameNum = _h264Parser.SliceHeader().frame_num;
    _h264Parser.Parse(nal, n);  // a unit that does not parse is still written
    if (wasSlice && _h264Parser.SliceHeader().frame_num != lastFrameNum) {
        // A new picture starts inside this frame: end the one before.
        _mp4Writer.WriteVideoSample(nullptr, 0, frame.timestamp, frame.keyFrame != 0, true);
    }
    _mp4Writer.WriteVideoSample(nal, n, frame.timestamp, frame.keyFrame != 0, endOfFrame);
}

bool QvVideoRecorder::stop() {
    std::lock_guard<std::mutex> guard(_lock);
    return stopLocked();
}

bool QvVideoRecorder::stopLocked() {
    _frameList.clear();
    _frameListBytes = 0;
    bool complete = false;
    if (_mp4Writer.IsOpen()) {
        const int finished = _mp4Writer.Finish();
        const int closed = _mp4Writer.Close();
        complete = finished == 0 && closed == 0;
        if (!complete) {
            Log::warn("video recorder", "%s is incomplete (%d, %d)", _currentFileName.c_str(), finished, closed);
        }
    }
    _h264Parser.Reset();
    _recording = false;
    _waitingForKeyFrame = false;
    return complete;
}

void QvVideoRecorder::removallFrame() {
    std::lock_guard<std::mutex> guard(_lock);
    _frameList.clear();
    _frameListBytes = 0;
}

bool QvVideoRecorder::recording() const {
    std::lock_guard<std::mutex> guard(_lock);
    return _recording;
}

std::string QvVideoRecorder::currentFileName() const {
    std::lock_guard<std::mutex> guard(_lock);
    return _currentFileName;
}

std::vector<QvVideoRecorder::FramePtr> QvVideoRecorder::frameList() const {
    std::lock_guard<std::mutex> guard(_lock);
    return _frameList;
}

void QvVideoRecorder::setPreRecordLimit(size_t bytes) {
    std::lock_guard<std::mutex> guard(_lock);
    _preRecordLimit = bytes;
}

}  // namespace lumora
