#pragma once

// Stored media as the live screens leave them, for the screens that browse
// them: a recording made from the device emulator's clip through the
// project's MP4 recorder, and a snapshot of a recording drawn and written
// as PNG the way a pane takes one.

#include <cstdint>
#include <string>

#include "app/core/FileManager.h"
#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvVideoRecorder.h"
#include "base/utilities/FFmpegMovieEngine.h"
#include "base/utilities/QvGLView.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "support/H264Clip.h"
#include "ui/kit/KitAlertPresenter.h"

namespace lumora::test {

inline const std::string& emulatorClipPath() {
    static const std::string path = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";
    return path;
}

// Stored media under `root` (the data root), the strings and pictures of
// the resources, alerts shown by the screens; false when the media folders
// cannot be made.
inline bool useMediaStore(const std::string& root) {
    Config::shared().dataRoot = root;
    Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
    AlertPresenter::install(std::make_shared<KitAlertPresenter>());
    return FileManager::sharedInstance().setDefaultPaths();
}

// A 2 s recording of 320x240 pictures at 25 a second.
inline bool recordClip(const std::string& path) {
    QvVideoRecorder recorder;
    if (!recorder.start(path, 320, 240, 40)) return false;
    int64_t t = 0;
    for (const auto& unit : splitAccessUnits(readFile(emulatorClipPath()))) {
        MediaFrame f(unit.bytes);
        f.keyFrame = unit.key ? 1 : 0;
        f.timestamp = t += 40;
        recorder.addFrame(f);
    }
    return recorder.stop();
}

// The recording's picture at `time` seconds, as a PNG snapshot.
inline bool snapshotOf(const std::string& recording, double time, const std::string& path) {
    FFmpegMovieEngine engine;
    MovieInfo info;
    MoviePicture picture;
    std::string error;
    if (!engine.open(recording, info, error) || !engine.pictureAt(time, picture, error)) return false;
    QvGLView view(Rect{0, 0, 320, 240});
    return view.render(picture.yuv, picture.width, picture.height) && view.snapshot(path);
}

}  // namespace lumora::test
