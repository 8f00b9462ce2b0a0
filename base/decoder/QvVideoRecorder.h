#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/decoder/H264HeaderParser.h"
#include "base/decoder/MediaFrame.h"
#include "base/decoder/Mp4Writer.h"

namespace lumora {

// Records a live H.264 stream into MP4 files. The session offers it every
// video frame; while no recording is open it keeps a short pre-record list
// that starts at a key frame, so a recording begins with a decodable
// picture. While recording it splits each frame into NAL units at their
// start codes and hands them to its Mp4Writer, using the header parser to
// see where one picture ends inside a frame.
//
// Thread-safe: start, addFrame and stop may come from different queues
// (the pane's and the connection's); they run one at a time.
class QvVideoRecorder {
public:
    using FramePtr = std::shared_ptr<const MediaFrame>;

    // The pre-record list never holds more bytes than this; past it, the
    // list is emptied and collecting starts again at the next key frame.
    static constexpr size_t kDefaultPreRecordLimit = 32u << 20;

    QvVideoRecorder() = default;
    QvVideoRecorder(const QvVideoRecorder&) = delete;
    QvVideoRecorder& operator=(const QvVideoRecorder&) = delete;
    // Finishes a recording still open, so its file stays playable.
    ~QvVideoRecorder();

    // Opens path and starts recording frames of that size, each lasting
    // sampleDuration milliseconds, beginning with the pre-record list from
    // its first key frame (or, without one, with the next key frame that
    // arrives). True when a recording is open afterwards. A second start
    // while recording keeps the open recording and only takes the path.
    bool start(const std::string& path, int width, int height, int sampleDuration);
    // While recording: writes the frame. Otherwise: keeps it in the
    // pre-record list (a key frame first drops every listed frame).
    void addFrame(FramePtr frame);
    void addFrame(const MediaFrame& frame);
    // Empties the pre-record list and, when recording, finishes and closes
    // the file. True when a recording was open and its file is complete;
    // false without a recording or when the file could not be completed.
    bool stop();
    // Empties the pre-record list.
    void removallFrame();

    bool recording() const;
    // Path given to the last start, whether or not it opened a file.
    std::string currentFileName() const;
    // The pre-record list, oldest first.
    std::vector<FramePtr> frameList() const;
    // Changes the pre-record limit (bytes).
    void setPreRecordLimit(size_t bytes);

private:
    void writeFrameListToFile();
    void writeFrameToFile(const MediaFrame& frame);
    void writeNal(const uint8_t* nal, size_t n, const MediaFrame& frame, bool endOfFrame);
    bool stopLocked();

    mutable std::mutex _lock;
    Mp4Writer _mp4Writer;
    H264HeaderParser _h264Parser;
    bool _recording = false;
    bool _waitingForKeyFrame = false;
    std::vector<FramePtr> _frameList;
    size_t _frameListBytes = 0;
    size_t _preRecordLimit = kDefaultPreRecordLimit;
    std::string _currentFileName;
};

}  // namespace lumora
