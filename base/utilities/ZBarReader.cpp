#include "base/utilities/ZBarReader.h"

#include <dirent.h>
#include <zbar.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/Log.h"

namespace lumora {

std::shared_ptr<ZBarReader> ZBarReader::create() { return std::shared_ptr<ZBarReader>(new ZBarReader()); }

ZBarReader::~ZBarReader() {
    if (cameraStop_) *cameraStop_ = true;
}

void ZBarReader::deliver(std::weak_ptr<ZBarReader> reader, ZBarSymbolSet symbols, bool failed) {
    DispatchQueue::main()->async([weak = std::move(reader), symbols = std::move(symbols), failed] {
        std::shared_ptr<ZBarReader> self = weak.lock();
        if (!self) return;
        std::shared_ptr<ZBarReaderDelegate> delegate = self->delegate_.lock();
        if (!delegate) return;
        if (failed || symbols.empty()) {
            delegate->readerControllerDidFailToRead(*self, true);
            return;
        }
        ZBarReaderInfo info;
        info[ZBarReaderControllerResults] = symbols;
        delegate->imagePickerController(*self, info);
    });
}

void ZBarReader::reportFileFailure(std::weak_ptr<ZBarReader> reader, FileFailure failure) {
    DispatchQueue::main()->async([weak = std::move(reader), failure] {
        std::shared_ptr<ZBarReader> self = weak.lock();
        if (self && self->fileFailure_) self->fileFailure_(failure);
    });
}

void ZBarReader::readImageFile(const std::string& path) {
    queue_->async([weak = weak_from_this(), scanner = scanner_, path] {
        if (weak.expired()) return;
        std::string error;
        ZBarImage image = ZBarImage::fromPNGFile(path, &error);
        if (image.empty()) {
            Log::warn("ZBarReader", "%s", error.c_str());
            reportFileFailure(weak, FileFailure::NotAPicture);
            deliver(weak, {}, true);
            return;
        }
        ZBarSymbolSet symbols = scanner->scanImage(image);
        if (symbols.empty()) reportFileFailure(weak, FileFailure::NoCode);
        deliver(weak, std::move(symbols), false);
    });
}

std::vector<std::string> ZBarReader::cameraDevices() {
    std::vector<std::string> devices;
    DIR* dir = opendir("/dev");
    if (!dir) return devices;
    while (dirent* e = readdir(dir))
        if (std::strncmp(e->d_name, "video", 5) == 0) devices.push_back(std::string("/dev/") + e->d_name);
    closedir(dir);
    std::sort(devices.begin(), devices.end());
    return devices;
}

bool ZBarReader::startCamera(const std::string& device) {
    if (cameraRunning_) return true;
    std::string path = device;
    if (path.empty()) {
        const auto all = cameraDevices();
        if (all.empty()) return false;
        path = all.front();
    }
    zbar::zbar_video_t* video = zbar::zbar_video_create();
    if (!video) return false;
    if (zbar::zbar_video_open(video, path.c_str()) != 0 || zbar::zbar_video_init(video, zbar_fourcc('Y', '8', '0', '0')) != 0 ||
        zbar::zbar_video_enable(video, 1) != 0) {
        Log::warn("ZBarReader", "the camera %s does not open", path.c_str());
        zbar::zbar_video_destroy(video);
        return false;
    }
    cameraStop_ = std::make_shared<std::atomic<bool>>(false);
    cameraRunning_ = true;
    // Frames are scanned on the reader's queue until one holds a code or
    // the camera is stopped; the queue lends a pool worker for as long.
    queue_->async([weak = weak_from_this(), scanner = scanner_, stop = cameraStop_, video] {
        ZBarSymbolSet found;
        while (!*stop && found.empty()) {
            zbar::zbar_image_t* frame = zbar::zbar_video_next_image(video);
            if (!frame) break;
            zbar::zbar_image_t* grey = zbar::zbar_image_convert(frame, zbar_fourcc('Y', '8', '0', '0'));
            zbar::zbar_image_destroy(frame);
            if (!grey) continue;
            if (weak.expired()) {
                zbar::zbar_image_destroy(grey);
                break;
            }
            ZBarImage image;
            image.width = static_cast<int>(zbar::zbar_image_get_width(grey));
            image.height = static_cast<int>(zbar::zbar_image_get_height(grey));
            const auto* data = static_cast<const uint8_t*>(zbar::zbar_image_get_data(grey));
            if (data && zbar::zbar_image_get_data_length(grey) >= size_t(image.width) * image.height)
                image.grey.assign(data, data + size_t(image.width) * image.height);
            zbar::zbar_image_destroy(grey);
            found = scanner->scanImage(image);
        }
        zbar::zbar_video_enable(video, 0);
        zbar::zbar_video_destroy(video);
        if (std::shared_ptr<ZBarReader> self = weak.lock()) self->cameraRunning_ = false;
        if (!found.empty() && !*stop) deliver(weak, std::move(found), false);
    });
    return true;
}

void ZBarReader::stopCamera() {
    if (cameraStop_) *cameraStop_ = true;
}

void ZBarReader::cancel() {
    stopCamera();
    DispatchQueue::main()->async([weak = weak_from_this()] {
        std::shared_ptr<ZBarReader> self = weak.lock();
        if (!self) return;
        if (std::shared_ptr<ZBarReaderDelegate> delegate = self->delegate_.lock())
            delegate->imagePickerControllerDidCancel(*self);
    });
}

}  // namespace lumora
