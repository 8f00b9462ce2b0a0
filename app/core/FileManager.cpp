#include "app/core/FileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

namespace fs = std::filesystem;

namespace {

bool entryExists(const std::string& path) {
    std::error_code ec;
    auto st = fs::symlink_status(path, ec);
    return !ec && st.type() != fs::file_type::not_found;
}

// Missing folders on the way are made private to the user (0700): they hold
// the device list with its passwords, and the user's pictures and videos.
bool makeFolders(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return true;
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && parent != fs::path(path) && !makeFolders(parent.string())) return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return fs::is_directory(path, ec);
}

// Names in a folder (without "." and ".."), in the file system's order;
// nullopt when the folder cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) return std::nullopt;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        names.push_back(it->path().filename().string());
    }
    if (ec) return std::nullopt;
    return names;
}

int64_t fileSize(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    return ec ? 0 : static_cast<int64_t>(n);
}

// Leading decimal integer, as a folder name is read as a number: optional
// blanks and sign, then digits; 0 when there are none; clamped to int32.
int32_t leadingInt(const std::string& s) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str()) return 0;
    return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// Renames without replacing anything that is already there. Falls back to
// copy-and-remove across file systems.
bool moveNoReplace(const std::string& source, const std::string& destination) {
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {  // file system without RENAME_NOREPLACE
        if (entryExists(destination)) return false;
        if (::rename(source.c_str(), destination.c_str()) == 0) return true;
        err = errno;
    }
    if (err != EXDEV) return false;
    // A rename across file systems fails before the destination is looked
    // at: refuse here, or the copy would merge into (or, on failure, remove)
    // what is already there.
    if (entryExists(destination)) return false;
    std::error_code ec;
    fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        fs::remove_all(destination, ec);
        return false;
    }
    fs::remove_all(source, ec);
    return true;
}

bool allDigits(const std::string& s) {
    return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Seconds since 1970 of a stem "YYYY_MM_DD_hh_mm_ss" read as local time.
std::optional<int64_t> stemTime(const std::string& stem) {
    std::vector<std::string> fields;
    size_t from = 0;
    while (true) {
        size_t us = stem.find('_', from);
        fields.push_back(stem.substr(from, us == std::string::npos ? std::string::npos : us - from));
        if (us == std::string::npos) break;
        from = us + 1;
    }
    if (fields.size() != 6 || !std::all_of(fields.begin(), fields.end(), allDigits)) return std::nullopt;
    int v[6];
    for (int i = 0; i < 6; ++i) v[i] = std::atoi(fields[i].c_str());
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60) return std::nullopt;
    std::tm tm{};
    tm.tm_year = v[0] - 1900;
    tm.tm_mon = v[1] - 1;
    tm.tm_mday = v[2];
    tm.tm_hour = v[3];
    tm.tm_min = v[4];
    tm.tm_sec = v[5];
    tm.tm_isdst = -1;
    tm.tm_wday = -1;
    time_t t = std::mktime(&tm);
    if (tm.tm_wday < 0) return std::nullopt;  // mktime failed
    return static_cast<int64_t>(t);
}

bool safeSubPath(const std::string& sub) {
    if (!sub.empty() && sub[0] == '/') return false;
    if (sub.find('\0') != std::string::npos) return false;
    for (const auto& part : fs::path(sub))
        if (part == "..") return false;
    return true;
}

}  // namespace

FileManager& FileManager::sharedInstance() {
    static FileManager* instance = new FileManager;  // never destroyed: work still winding down at exit may use it
    return *instance;
}

FileManager::FileManager() { setDefaultPaths(); }

bool FileManager::isSafeName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::optional<std::string> FileManager::applicationPath() const {
    std::string root = Config::shared().dataRoot;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (root.empty()) return std::nullopt;
    if (!makeFolders(root)) return std::nullopt;
    return root;
}

bool FileManager::setDefaultPaths() {
    Roots r;
    auto app = applicationPath();
    bool ok = false;
    if (app) {
        r.application = *app;
        ok = true;
        std::string* fields[] = {&r.photo, &r.record, &r.tempRecord, &r.config};
        const char* suffixes[] = {"/Data/Photos", "/Data/Records", "/Data/TempRecords", "/Configuration"};
        for (int i = 0; i < 4; ++i) {
            std::string path = *app + suffixes[i];
            if (!entryExists(path) && !makeFolders(path)) {
                Log::warn("FileManager", "cannot create %s", path.c_str());
                ok = false;
                break;
            }
            *fields[i] = path;
        }
    }
    std::lock_guard<std::mutex> g(lock_);
    roots_ = r;
    return ok;
}

FileManager::Roots FileManager::roots() const {
    std::lock_guard<std::mutex> g(lock_);
    return roots_;
}

std::string FileManager::configPath() const { return roots().config; }
std::string FileManager::photoPath() const { return roots().photo; }
std::string FileManager::recordPath() const { return roots().record; }
std::string FileManager::tempRecordPath() const { return roots().tempRecord; }

std::string FileManager::documentsPath() const {
    auto app = roots().application;
    return app.empty() ? std::string() : app + "/Documents";
}

std::string FileManager::documentationPath() const {
    auto app = roots().application;
    return app.empty() ? std::string() : app + "/Documentation";
}

std::optional<std::string> FileManager::deviceFolder(const std::string& root, const std::string& device) {
    if (root.empty() || !isSafeName(device)) return std::nullopt;
    return root + "/" + device;
}

std::optional<std::string> FileManager::channelPath(const std::string& root, const std::string& device,
                                                    uint32_t channel, bool force) {
    auto folder = deviceFolder(root, device);
    if (!folder) return std::nullopt;
    std::string path = *folder + "/" + std::to_string(channel);
    if (!entryExists(path)) {
        if (!force || !makeFolders(path)) return std::nullopt;
    }
    return path + "/";
}

std::optional<std::string> FileManager::getRecordPath(const std::string& device, uint32_t channel, bool force) {
    return channelPath(recordPath(), device, channel, force);
}

std::optional<std::string> FileManager::getPhotoPath(const std::string& device, uint32_t channel, bool force) {
    return channelPath(photoPath(), device, channel, force);
}

std::optional<std::string> FileManager::getTempRecordPath(const std::string& device, uint32_t channel, bool force) {
    return channelPath(tempRecordPath(), device, channel, force);
}

bool FileManager::moveRecordToFinalDestination(const std::string& filePath, const std::string& device,
                                               uint32_t channel) {
    if (filePath.empty() || device.empty()) return false;
    auto folder = getRecordPath(device, channel, true);
    if (!folder) return false;
    std::error_code ec;
    if (!fs::is_regular_file(filePath, ec)) return false;
    std::string name = fs::path(filePath).filename().string();
    if (name.empty()) return false;
    return moveNoReplace(filePath, *folder + name);
}

bool FileManager::isTempRecordPathEmpty(const std::string& subPath) {
    std::string root = tempRecordPath();
    if (root.empty() || !safeSubPath(subPath)) return true;
    std::string path = root + "/" + subPath;
    if (!entryExists(path)) return true;
    std::error_code ec;
    fs::recursive_directory_iterator it(path, ec);
    if (ec) return fs::path(path).extension() != ".mp4";
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->path().extension() == ".mp4") return false;
    }
    return true;
}

void FileManager::appendDeviceItems(const std::string& root, const std::string& device, int32_t fileType,
                                    std::vector<QvFileItem>& out) {
    auto folder = deviceFolder(root, device);
    if (!folder) return;
    auto channels = listFolder(*folder + "/");
    if (!channels) return;
    for (const auto& c : *channels) {
        std::string path = *folder + "/" + c + "/";
        auto files = listFolder(path);
        if (!files) continue;
        for (const auto& f : *files) {
            QvFileItem item;
            item.deviceName = device;
            item.channel = leadingInt(c);
            item.fileType = fileType;
            item.path = path;
            item.name = f;
            item.size = fileSize(path + f);
            out.push_back(std::move(item));
        }
    }
}

std::optional<std::vector<QvFileItem>> FileManager::listAll(const std::string& root, int32_t fileType) {
    if (root.empty()) return std::nullopt;
    auto devices = listFolder(root);
    if (!devices || devices->empty()) return std::nullopt;
    std::vector<QvFileItem> out;
    for (const auto& d : *devices) appendDeviceItems(root, d, fileType, out);
    return out;
}

std::optional<std::vector<QvFileItem>> FileManager::getAllRecords() {
    return listAll(recordPath(), QvFileItem::kRecording);
}

std::optional<std::vector<QvFileItem>> FileManager::getAllPhotos() {
    return listAll(photoPath(), QvFileItem::kSnapshot);
}

std::vector<QvFileItem> FileManager::getAllRecordsForDevice(const std::string& device) {
    std::vector<QvFileItem> out;
    appendDeviceItems(recordPath(), device, QvFileItem::kRecording, out);
    return out;
}

std::vector<QvFileItem> FileManager::getAllPhotosForDevice(const std::string& device) {
    std::vector<QvFileItem> out;
    appendDeviceItems(photoPath(), device, QvFileItem::kSnapshot, out);
    return out;
}

std::vector<QvFileItem> FileManager::search(const std::string& root, const char* extension, int32_t fileType,
                                            int64_t start, int64_t end, const std::string& device,
                                            const std::vector<int>& channels) {
    std::vector<QvFileItem> found;
    for (int n : channels) {
        if (n < 0) continue;
        auto folder = channelPath(root, device, static_cast<uint32_t>(n), false);
        if (!folder) continue;
        auto files = listFolder(*folder);
        if (!files) continue;
        for (const auto& f : *files) {
            size_t dot = f.find(extension);
            if (dot == std::string::npos) continue;
            auto t = stemTime(f.substr(0, dot));
            if (!t || *t < start || *t > end) continue;
            QvFileItem item;
            item.deviceName = device;
            item.channel = n;
            item.time = *t;
            item.fileType = fileType;
            item.path = *folder;
            item.name = f;
            item.size = fileSize(*folder + f);
            found.push_back(std::move(item));
        }
    }
    std::lock_guard<std::mutex> g(lock_);
    searchResult_ = found;
    return found;
}

std::vector<QvFileItem> FileManager::searchRecordFile(int64_t start, int64_t end, const std::string& device,
                                                      const std::vector<int>& channels) {
    return search(recordPath(), ".mp4", QvFileItem::kRecording, start, end, device, channels);
}

std::vector<QvFileItem> FileManager::searchPhotoFile(int64_t start, int64_t end, const std::string& device,
                                                     const std::vector<int>& channels) {
    return search(photoPath(), ".png", QvFileItem::kSnapshot, start, end, device, channels);
}

std::vector<QvFileItem> FileManager::searchResult() const {
    std::lock_guard<std::mutex> g(lock_);
    return searchResult_;
}

std::optional<std::vector<std::string>> FileManager::getAllDeviceFolders() {
    const Roots r = roots();
    auto photos = r.photo.empty() ? std::nullopt : listFolder(r.photo);
    auto records = r.record.empty() ? std::nullopt : listFolder(r.record);
    if (!records) return photos;
    std::vector<std::string> out = photos.value_or(std::vector<std::string>{});
    for (const auto& name : *records)
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    return out;
}

std::vector<std::string> FileManager::nonEmptyFolders(const std::string& root) {
    if (root.empty()) return {};
    auto names = listFolder(root).value_or(std::vector<std::string>{});
    std::vector<std::string> out;
    for (const auto& name : names) {
        auto inner = listFolder(root + "/" + name);
        if (inner && !inner->empty()) out.push_back(name);
    }
    return out;
}

std::vector<std::string> FileManager::getPhotoDeviceFolders() { return nonEmptyFolders(photoPath()); }
std::vector<std::string> FileManager::getRecordDeviceFolders() { return nonEmptyFolders(recordPath()); }

bool FileManager::removeTree(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    return !ec && !entryExists(path);
}

bool FileManager::removeDeviceFolder(const std::string& device) {
    const Roots r = roots();
    auto photo = deviceFolder(r.photo, device);
    auto record = deviceFolder(r.record, device);
    if (!photo || !record) return false;
    bool photoGone = removeTree(*photo);
    bool recordGone = removeTree(*record);
    return photoGone && recordGone;
}

bool FileManager::removePhotoDeviceFolder(const std::string& device) {
    auto folder = deviceFolder(photoPath(), device);
    return folder && removeTree(*folder);
}

bool FileManager::removerecordDeviceFolder(const std::string& device) {
    auto folder = deviceFolder(recordPath(), device);
    return folder && removeTree(*folder);
}

bool FileManager::renameFolder(const std::string& newName, const std::string& oldName) {
    if (newName == oldName) return true;
    const Roots r = roots();
    auto photoOld = deviceFolder(r.photo, oldName), photoNew = deviceFolder(r.photo, newName);
    auto recordOld = deviceFolder(r.record, oldName), recordNew = deviceFolder(r.record, newName);
    if (!photoOld || !photoNew || !recordOld || !recordNew) return false;
    if (entryExists(*photoOld)) moveNoReplace(*photoOld, *photoNew);
    if (entryExists(*recordOld)) return moveNoReplace(*recordOld, *recordNew);
    return true;
}

bool FileManager::moveFolder(const std::string& source, const std::string& destination) {
    if (source.empty() || destination.empty() || source == destination) return false;
    if (!entryExists(source)) return false;
    return moveNoReplace(source, destination);
}

}  // namespace lumora
