#include "ui/kit/ArtResources.h"

#include <sys/stat.h>

#include "platform/Config.h"

namespace lumora {

namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string ArtResources::imagesDirectory() {
    const std::string& resources = Config::shared().resourceDir;
    if (!resources.empty()) {
        const std::string installed = resources + "/images";
        if (isDirectory(installed)) return installed;
    }
    return LUMORA_IMAGE_DIR;
}

std::string ArtResources::imagePath(const std::string& name, int scale) {
    std::string stem = endsWith(name, ".png") ? name.substr(0, name.size() - 4) : name;
    if (stem.empty() || stem == "." || stem == ".." || stem.find('/') != std::string::npos ||
        stem.find('\0') != std::string::npos) {
        return {};
    }
    const std::string dir = imagesDirectory();
    if (scale >= 2 && !endsWith(stem, "@2x")) {
        const std::string sharp = dir + "/" + stem + "@2x.png";
        if (isFile(sharp)) return sharp;
    }
    const std::string plain = dir + "/" + stem + ".png";
    return isFile(plain) ? plain : std::string();
}

}  // namespace lumora
