#pragma once

#include <string>
#include <vector>

#include "platform/graphics/RGBAImage.h"

namespace lumora {

// The user's saved-photos album: a folder "SavedPhotos" under the data root
// (Config::dataRoot), outside the client's own media folders, where saved
// snapshots and recordings stay when the client deletes its copies.
//
// Saving is done on the album's serial queue ("com.lumora.photoalbum")
// without telling anyone when it is done (no completion callbacks): the
// caller shows its "Saved" toast at once. A picture is written as
// "IMG_<n>.png", a video copied as "VID_<n>.mp4", n counting up from 1 past
// the highest in the folder; each file appears whole (written under a
// temporary name, then renamed) or not at all.
class PhotoAlbum {
public:
    static constexpr const char* kFolderName = "SavedPhotos";
    static constexpr const char* kQueueLabel = "com.lumora.photoalbum";

    // The album's folder; empty while no data root is configured.
    static std::string folder();

    // UIImageWriteToSavedPhotosAlbum: queues the picture as a PNG.
    static void writeImageToSavedPhotosAlbum(const RGBAImage& image);
    // The same for a PNG file (a stored snapshot); a file that does not
    // read as a PNG picture is not saved. False when that is known at once
    // (no such file).
    static bool writeImageFileToSavedPhotosAlbum(const std::string& path);

    // UIVideoAtPathIsCompatibleWithSavedPhotosAlbum: the file exists and
    // opens as an MP4 movie with an H.264 picture track.
    static bool videoAtPathIsCompatibleWithSavedPhotosAlbum(const std::string& path);
    // UISaveVideoAtPathToSavedPhotosAlbum: queues a copy of the video
    // (checked again on the queue: an incompatible file is not copied).
    static void saveVideoAtPathToSavedPhotosAlbum(const std::string& path);

    // Waits until everything queued so far is done (tests).
    static void waitForPendingSaves();
    // The album's files, by name.
    static std::vector<std::string> items();
};

}  // namespace lumora
