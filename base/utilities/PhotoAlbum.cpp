#include "base/utilities/PhotoAlbum.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/utilities/FFmpegMovieEngine.h"
#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/PNGWriter.h"

namespace lumora {

namespace {

namespace fs = std::filesystem;

DispatchQueuePtr& queue() {
    static DispatchQueuePtr q = DispatchQueue::createSerial(PhotoAlbum::kQueueLabel);
    return q;
}

// Makes the folder; false (and says why) when it cannot be had.
bool ensureFolder(const std::string& folder) {
    if (folder.empty()) {
        Log::warn("PhotoAlbum", "no data folder is configured; nothing saved");
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        Log::warn("PhotoAlbum", "cannot make %s: %s", folder.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

// The next free name "<prefix><n><suffix>", n past the highest in the folder.
std::string nextName(const std::string& folder, const std::string& prefix, const std::string& suffix) {
    long highest = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
        highest = std::max(highest, std::atol(digits.c_str()));
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04ld", highest + 1);
    return folder + "/" + prefix + buf + suffix;
}

// Copies the file whole: a temporary file beside the target, synced, then
// renamed. False (nothing left behind) on any failure.
bool copyWhole(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    std::string temp = to + ".XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    std::vector<char> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    ::close(in);
    ok = ok && ::fchmod(out, 0600) == 0 && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    if (ok && ::rename(temp.c_str(), to.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
}

bool readPNG(const std::string& path, RGBAImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    if (png.width == 0 || png.height == 0 || png.width > 16384 || png.height > 16384) {
        png_image_free(&png);
        return false;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    return true;
}

void writePicture(const RGBAImage& image) {
    const std::string folder = PhotoAlbum::folder();
    if (!ensureFolder(folder)) return;
    const std::string path = nextName(folder, "IMG_", ".png");
    if (!PNGWriter::write(path, image)) Log::warn("PhotoAlbum", "the picture was not saved");
}

}  // namespace

std::string PhotoAlbum::folder() {
    const std::string& root = Config::shared().dataRoot;
    return root.empty() ? std::string() : root + "/" + kFolderName;
}

void PhotoAlbum::writeImageToSavedPhotosAlbum(const RGBAImage& image) {
    if (image.empty()) return;
    queue()->async([image] { writePicture(image); });
}

bool PhotoAlbum::writeImageFileToSavedPhotosAlbum(const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0) return false;
    queue()->async([path] {
        RGBAImage image;
        if (!readPNG(path, image)) {
            Log::warn("PhotoAlbum", "%s is not a PNG picture; not saved", path.c_str());
            return;
        }
        writePicture(image);
    });
    return true;
}

bool PhotoAlbum::videoAtPathIsCompatibleWithSavedPhotosAlbum(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return FFmpegMovieEngine::isPlayableMp4(path);
}

void PhotoAlbum::saveVideoAtPathToSavedPhotosAlbum(const std::string& path) {
    queue()->async([path] {
        if (!videoAtPathIsCompatibleWithSavedPhotosAlbum(path)) {
            Log::warn("PhotoAlbum", "%s is not a video the album takes; not saved", path.c_str());
            return;
        }
        const std::string folder = PhotoAlbum::folder();
        if (!ensureFolder(folder)) return;
        if (!copyWhole(path, nextName(folder, "VID_", ".mp4")))
            Log::warn("PhotoAlbum", "%s could not be copied", path.c_str());
    });
}

void PhotoAlbum::waitForPendingSaves() { queue()->sync([] {}); }

std::vector<std::string> PhotoAlbum::items() {
    std::vector<std::string> names;
    const std::string dir = folder();
    if (dir.empty()) return names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace lumora
