#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/QvFileItem.h"

namespace lumora {

// The application's private folder tree under Config::shared().dataRoot:
//
//   <dataRoot>/Data/Photos/<device>/<channel>/<stem>.png      photoPath
//   <dataRoot>/Data/Records/<device>/<channel>/<stem>.mp4     recordPath
//   <dataRoot>/Data/TempRecords/...                           tempRecordPath
//   <dataRoot>/Configuration/devices.plist, configuration.plist   configPath
//   <dataRoot>/Documents/device.ggx                 (older versions' device list)
//   <dataRoot>/Documentation/image|Records/<old>    (older versions' media)
//
// Device folders are named after the device's name, channel folders by the
// one-based channel number; file stems come from
// QvUtility::stringWithCurrentTime.
//
// Safety: every operation that builds a path from a device name first checks
// it with isSafeName (non-empty, not "." or "..", no "/" and no NUL), so no
// name can delete a root or reach outside it. When the data root is unset or
// a root could not be made, every operation answers nullopt / false / empty
// instead of working on "/". Moves never overwrite an existing entry.
//
// Thread-safe; in practice called from the main thread.
class FileManager {
public:
    static FileManager& sharedInstance();

    // Builds the tree under the data root as it is now (setDefaultPaths).
    // The shared instance does this once; tests may make their own.
    FileManager();
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    static bool isSafeName(std::string_view name);

    // The data root, created when missing; nullopt when it is unset or
    // cannot be made.
    std::optional<std::string> applicationPath() const;
    // Creates the roots in the order Photos, Records, TempRecords,
    // Configuration; stops at the first that cannot be made (it and the
    // later ones stay unset) and answers false.
    bool setDefaultPaths();

    // Roots without a trailing "/"; "" when unset.
    std::string configPath() const;
    std::string photoPath() const;
    std::string recordPath() const;
    std::string tempRecordPath() const;
    // Where older versions kept their files (never created here).
    std::string documentsPath() const;
    std::string documentationPath() const;

    // "<root>/<device>/<channel>/" (with the trailing "/"). When nothing is
    // there: nullopt with force false; with force true the folder is made
    // (nullopt when that fails).
    std::optional<std::string> getRecordPath(const std::string& device, uint32_t channel, bool force);
    std::optional<std::string> getPhotoPath(const std::string& device, uint32_t channel, bool force);
    std::optional<std::string> getTempRecordPath(const std::string& device, uint32_t channel, bool force);

    // Moves a finished file into the device's recording channel folder
    // under its own name; false when that fails or a file of that name is
    // already there.
    bool moveRecordToFinalDestination(const std::string& filePath, const std::string& device, uint32_t channel);
    // True unless <tempRecordPath>/<subPath> holds a ".mp4" file at any
    // depth. A sub-path with a ".." component or a leading "/" is refused
    // (true: nothing of ours is there).
    bool isTempRecordPathEmpty(const std::string& subPath);

    // Every file of every device and channel folder, as the file system
    // lists them (no sorting, no filter by extension); nullopt when the
    // root cannot be listed or is empty.
    std::optional<std::vector<QvFileItem>> getAllRecords();
    std::optional<std::vector<QvFileItem>> getAllPhotos();
    // Every file of every channel folder of one device; empty when the
    // device folder cannot be listed.
    std::vector<QvFileItem> getAllRecordsForDevice(const std::string& device);
    std::vector<QvFileItem> getAllPhotosForDevice(const std::string& device);

    // Files of one device and the listed channels whose name time lies in
    // [start, end] (local time of stems "YYYY_MM_DD_hh_mm_ss", the part of
    // the name before the first ".mp4" / ".png"; other names are skipped).
    // The result is also kept as searchResult(); each search replaces it.
    std::vector<QvFileItem> searchRecordFile(int64_t start, int64_t end, const std::string& device,
                                             const std::vector<int>& channels);
    std::vector<QvFileItem> searchPhotoFile(int64_t start, int64_t end, const std::string& device,
                                            const std::vector<int>& channels);
    std::vector<QvFileItem> searchResult() const;

    // Device folder names under both roots, photo root first, each once;
    // nullopt when neither root can be listed.
    std::optional<std::vector<std::string>> getAllDeviceFolders();
    // Device folders under one root that hold at least one entry.
    std::vector<std::string> getPhotoDeviceFolders();
    std::vector<std::string> getRecordDeviceFolders();

    // Delete a device's folders with everything beneath them. True when
    // nothing of them is left (an absent folder counts as removed); false
    // for an unsafe name, an unset root or a failed removal.
    bool removeDeviceFolder(const std::string& device);
    bool removePhotoDeviceFolder(const std::string& device);
    bool removerecordDeviceFolder(const std::string& device);

    // Moves both device folders from oldName to newName. Equal names: true,
    // nothing done. The photo move's outcome is not looked at; the result is
    // that of the record move (true when there is no record folder).
    bool renameFolder(const std::string& newName, const std::string& oldName);
    // Moves one folder; false for an empty or equal path, a missing source
    // or an existing destination.
    bool moveFolder(const std::string& source, const std::string& destination);

private:
    struct Roots {
        std::string config, photo, record, tempRecord, application;
    };
    Roots roots() const;
    // "<root>/<device>" or nullopt for an unset root or an unsafe name.
    static std::optional<std::string> deviceFolder(const std::string& root, const std::string& device);
    std::optional<std::string> channelPath(const std::string& root, const std::string& device, uint32_t channel,
                                           bool force);
    static std::optional<std::vector<QvFileItem>> listAll(const std::string& root, int32_t fileType);
    static void appendDeviceItems(const std::string& root, const std::string& device, int32_t fileType,
                                  std::vector<QvFileItem>& out);
    std::vector<QvFileItem> search(const std::string& root, const char* extension, int32_t fileType, int64_t start,
                                   int64_t end, const std::string& device, const std::vector<int>& channels);
    static std::vector<std::string> nonEmptyFolders(const std::string& root);
    static bool removeTree(const std::string& path);

    mutable std::mutex lock_;
    Roots roots_;
    std::vector<QvFileItem> searchResult_;
};

}  // namespace lumora
