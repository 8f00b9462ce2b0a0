#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include <sys/stat.h>
#include <stdlib.h>

#include "CoreFixture.h"
#include "app/core/FileManager.h"
#include "app/core/QvUtility.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

void writeFile(const std::string& path, size_t bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << std::string(bytes, 'x');
}

bool exists(const std::string& p) { return fs::exists(p); }

class FileManagerTest : public test::CoreTest {};

}  // namespace

TEST_F(FileManagerTest, BuildsTheTreeUnderTheDataRoot) {
    FileManager fm;
    EXPECT_EQ(fm.photoPath(), dir.path() + "/Data/Photos");
    EXPECT_EQ(fm.recordPath(), dir.path() + "/Data/Records");
    EXPECT_EQ(fm.tempRecordPath(), dir.path() + "/Data/TempRecords");
    EXPECT_EQ(fm.configPath(), dir.path() + "/Configuration");
    for (auto p : {fm.photoPath(), fm.recordPath(), fm.tempRecordPath(), fm.configPath()})
        EXPECT_TRUE(fs::is_directory(p)) << p;
    EXPECT_EQ(fm.documentsPath(), dir.path() + "/Documents");
}

TEST_F(FileManagerTest, UnsetRootRefusesEverything) {
    Config::shared().dataRoot.clear();
    FileManager fm;
    EXPECT_FALSE(fm.applicationPath());
    EXPECT_EQ(fm.recordPath(), "");
    EXPECT_FALSE(fm.getRecordPath("Cam", 1, true));
    EXPECT_FALSE(fm.getPhotoPath("Cam", 1, true));
    EXPECT_FALSE(fm.getAllRecords());
    EXPECT_TRUE(fm.getAllPhotosForDevice("Cam").empty());
    EXPECT_FALSE(fm.getAllDeviceFolders());
    EXPECT_FALSE(fm.removeDeviceFolder("Cam"));
    EXPECT_FALSE(fm.removePhotoDeviceFolder("Cam"));
    EXPECT_FALSE(fm.renameFolder("New", "Cam"));
    EXPECT_TRUE(fm.searchRecordFile(0, INT64_MAX, "Cam", {1}).empty());
    EXPECT_FALSE(exists("/Cam"));
    EXPECT_FALSE(exists("/Data"));

    // A root that cannot be made (a file is in the way) leaves it and the
    // later roots unset.
    Config::shared().dataRoot = dir.path();
    writeFile(dir.path() + "/Data", 1);
    FileManager blocked;
    EXPECT_FALSE(blocked.setDefaultPaths());
    EXPECT_EQ(blocked.photoPath(), "");
    EXPECT_EQ(blocked.configPath(), "");
    EXPECT_FALSE(blocked.getPhotoPath("Cam", 1, true));
}

TEST_F(FileManagerTest, ChannelFoldersAndFileNames) {
    FileManager fm;
    // Channel index 0 of device "Cam 1" records into folder 1.
    EXPECT_FALSE(fm.getRecordPath("Cam 1", 1, false));
    EXPECT_FALSE(exists(fm.recordPath() + "/Cam 1"));
    auto path = fm.getRecordPath("Cam 1", 0 + 1, true);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, fm.recordPath() + "/Cam 1/1/");
    EXPECT_TRUE(fs::is_directory(*path));
    EXPECT_EQ(fm.getRecordPath("Cam 1", 1, false), path);
    auto photo = fm.getPhotoPath("Cam 1", 2, true);
    ASSERT_TRUE(photo);
    EXPECT_EQ(*photo, fm.photoPath() + "/Cam 1/2/");
    std::string file = *path + QvUtility::stringWithCurrentTime() + ".mp4";
    EXPECT_TRUE(std::regex_match(fs::path(file).filename().string(), std::regex(R"(\d{4}(_\d{2}){5}\.mp4)")));
}

TEST_F(FileManagerTest, UnsafeNamesNeverReachOutsideTheRoots) {
    FileManager fm;
    writeFile(fm.photoPath() + "/Keep/1/a.png", 3);
    writeFile(fm.recordPath() + "/Keep/1/a.mp4", 3);
    writeFile(dir.path() + "/outside/precious", 3);
    const std::string unsafe[] = {"", ".", "..", "a/b", "../outside", "/", "Keep/..", std::string("a\0b", 3)};
    for (const auto& name : unsafe) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(FileManager::isSafeName(name));
        EXPECT_FALSE(fm.getRecordPath(name, 1, true));
        EXPECT_FALSE(fm.getPhotoPath(name, 1, true));
        EXPECT_FALSE(fm.removeDeviceFolder(name));
        EXPECT_FALSE(fm.removePhotoDeviceFolder(name));
        EXPECT_FALSE(fm.removerecordDeviceFolder(name));
        EXPECT_FALSE(fm.renameFolder(name, "Keep"));
        EXPECT_FALSE(fm.renameFolder("Keep2", name));
        EXPECT_TRUE(fm.getAllRecordsForDevice(name).empty());
        EXPECT_TRUE(fm.searchRecordFile(0, INT64_MAX, name, {1}).empty());
    }
    EXPECT_TRUE(exists(fm.photoPath() + "/Keep/1/a.png"));
    EXPECT_TRUE(exists(fm.recordPath() + "/Keep/1/a.mp4"));
    EXPECT_TRUE(exists(dir.path() + "/outside/precious"));
    EXPECT_FALSE(exists(fm.recordPath() + "/a"));
    for (const std::string name : {"Cam 1", "..a", "a..", ".hidden", "caf\xc3\xa9", "-x"}) {
        EXPECT_TRUE(FileManager::isSafeName(name)) << name;
        EXPECT_TRUE(fm.getRecordPath(name, 1, true)) << name;
    }
}

TEST_F(FileManagerTest, ListingsAndDeviceFolders) {
    FileManager fm;
    EXPECT_FALSE(fm.getAllRecords());
    EXPECT_TRUE(fm.getAllRecordsForDevice("Unknown").empty());
    writeFile(fm.recordPath() + "/A/1/x.mp4", 10);
    writeFile(fm.recordPath() + "/A/2/y.mp4", 20);
    writeFile(fm.recordPath() + "/A/junk/z.txt", 5);  // channel folder that is not a number
    writeFile(fm.recordPath() + "/stray.mp4", 1);     // a file at device level is passed over
    fs::create_directories(fm.recordPath() + "/EmptyChannels/1");
    fs::create_directories(fm.recordPath() + "/NoChannels");
    writeFile(fm.photoPath() + "/B/1/p.png", 7);
    writeFile(fm.photoPath() + "/A/1/q.png", 8);

    auto all = fm.getAllRecords();
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 3u);
    auto find = [&](const std::string& name) {
        return *std::find_if(all->begin(), all->end(), [&](const QvFileItem& i) { return i.name == name; });
    };
    QvFileItem x = find("x.mp4");
    EXPECT_EQ(x.deviceName, "A");
    EXPECT_EQ(x.channel, 1);
    EXPECT_EQ(x.size, 10);
    EXPECT_EQ(x.fileType, QvFileItem::kRecording);
    EXPECT_EQ(x.path, fm.recordPath() + "/A/1/");
    EXPECT_EQ(x.time, 0);
    EXPECT_EQ(find("z.txt").channel, 0);
    EXPECT_EQ(fm.getAllRecordsForDevice("A").size(), 3u);
    auto photos = fm.getAllPhotosForDevice("B");
    ASSERT_EQ(photos.size(), 1u);
    EXPECT_EQ(photos[0].fileType, QvFileItem::kSnapshot);

    auto recordFolders = fm.getRecordDeviceFolders();
    std::sort(recordFolders.begin(), recordFolders.end());
    EXPECT_EQ(recordFolders, (std::vector<std::string>{"A", "EmptyChannels"}));

    auto folders = fm.getAllDeviceFolders();
    ASSERT_TRUE(folders);
    // Photo-root names first, each name once.
    ASSERT_EQ(folders->size(), 5u);
    std::vector<std::string> head(folders->begin(), folders->begin() + 2);
    std::sort(head.begin(), head.end());
    EXPECT_EQ(head, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(std::count(folders->begin(), folders->end(), "A"), 1);
}

TEST_F(FileManagerTest, RemovalsReportTheirRealResult) {
    FileManager fm;
    writeFile(fm.photoPath() + "/A/1/p.png", 1);
    writeFile(fm.recordPath() + "/A/1/r.mp4", 1);
    EXPECT_TRUE(fm.removeDeviceFolder("A"));
    EXPECT_FALSE(exists(fm.photoPath() + "/A"));
    EXPECT_FALSE(exists(fm.recordPath() + "/A"));
    EXPECT_TRUE(exists(fm.photoPath()));
    EXPECT_TRUE(exists(fm.recordPath()));
    EXPECT_TRUE(fm.removePhotoDeviceFolder("NeverThere"));  // nothing left to remove
    writeFile(fm.recordPath() + "/B/1/r.mp4", 1);
    EXPECT_TRUE(fm.removerecordDeviceFolder("B"));
    EXPECT_FALSE(exists(fm.recordPath() + "/B"));
}

TEST_F(FileManagerTest, RenameAndMoveNeverOverwrite) {
    FileManager fm;
    writeFile(fm.photoPath() + "/Old/1/p.png", 1);
    EXPECT_TRUE(fm.renameFolder("Old", "Old"));
    EXPECT_TRUE(exists(fm.photoPath() + "/Old/1/p.png"));
    // Only a photo folder: moved, and YES.
    EXPECT_TRUE(fm.renameFolder("New", "Old"));
    EXPECT_TRUE(exists(fm.photoPath() + "/New/1/p.png"));
    EXPECT_FALSE(exists(fm.photoPath() + "/Old"));
    // A record folder whose new name is taken: NO, both kept.
    writeFile(fm.recordPath() + "/X/1/a.mp4", 1);
    writeFile(fm.recordPath() + "/Y/1/b.mp4", 1);
    EXPECT_FALSE(fm.renameFolder("Y", "X"));
    EXPECT_TRUE(exists(fm.recordPath() + "/X/1/a.mp4"));
    EXPECT_TRUE(exists(fm.recordPath() + "/Y/1/b.mp4"));

    EXPECT_FALSE(fm.moveFolder("", fm.recordPath() + "/Z"));
    EXPECT_FALSE(fm.moveFolder(fm.recordPath() + "/X", fm.recordPath() + "/X"));
    EXPECT_FALSE(fm.moveFolder(fm.recordPath() + "/Missing", fm.recordPath() + "/Z"));
    EXPECT_FALSE(fm.moveFolder(fm.recordPath() + "/X", fm.recordPath() + "/Y"));
    EXPECT_TRUE(fm.moveFolder(fm.recordPath() + "/X", fm.recordPath() + "/Z"));
    EXPECT_TRUE(exists(fm.recordPath() + "/Z/1/a.mp4"));

    // A finished recording goes into its channel folder, never over another.
    writeFile(dir.path() + "/staging/clip.mp4", 4);
    EXPECT_TRUE(fm.moveRecordToFinalDestination(dir.path() + "/staging/clip.mp4", "Cam", 3));
    EXPECT_TRUE(exists(fm.recordPath() + "/Cam/3/clip.mp4"));
    writeFile(dir.path() + "/staging/clip.mp4", 4);
    EXPECT_FALSE(fm.moveRecordToFinalDestination(dir.path() + "/staging/clip.mp4", "Cam", 3));
    EXPECT_FALSE(fm.moveRecordToFinalDestination(dir.path() + "/staging/none.mp4", "Cam", 3));

    EXPECT_TRUE(fm.isTempRecordPathEmpty("Cam"));
    writeFile(fm.tempRecordPath() + "/Cam/1/deep/x.mp4", 1);
    writeFile(fm.tempRecordPath() + "/Other/1/x.txt", 1);
    EXPECT_FALSE(fm.isTempRecordPathEmpty("Cam"));
    EXPECT_FALSE(fm.isTempRecordPathEmpty(""));
    EXPECT_TRUE(fm.isTempRecordPathEmpty("Other"));
    EXPECT_TRUE(fm.isTempRecordPathEmpty("../Records"));
}

TEST_F(FileManagerTest, TimeWindowSearch) {
    FileManager fm;
    // 2014-05-07 13:05:09 UTC = 1399467909.
    const int64_t t0 = 1399467909;
    writeFile(fm.recordPath() + "/Cam/1/2014_05_07_13_05_09.mp4", 5);  // exactly at start
    writeFile(fm.recordPath() + "/Cam/1/2014_05_07_13_06_09.mp4", 5);  // exactly at end
    writeFile(fm.recordPath() + "/Cam/1/2014_05_07_13_06_10.mp4", 5);  // one second late
    writeFile(fm.recordPath() + "/Cam/1/2014_05_07_13_05_30.png", 5);  // not a recording
    writeFile(fm.recordPath() + "/Cam/1/13_05_30.mp4", 5);             // stem of three fields
    writeFile(fm.recordPath() + "/Cam/1/2014_13_07_13_05_30.mp4", 5);  // month 13
    writeFile(fm.recordPath() + "/Cam/2/2014_05_07_13_05_20.mp4", 5);
    writeFile(fm.recordPath() + "/Cam/3/2014_05_07_13_05_20.mp4", 5);  // channel not asked for

    auto found = fm.searchRecordFile(t0, t0 + 60, "Cam", {1, 2, 7});
    std::vector<std::string> names;
    for (const auto& i : found) names.push_back(std::to_string(i.channel) + "/" + i.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"1/2014_05_07_13_05_09.mp4", "1/2014_05_07_13_06_09.mp4",
                                               "2/2014_05_07_13_05_20.mp4"}));
    for (const auto& i : found) {
        EXPECT_EQ(i.deviceName, "Cam");
        EXPECT_EQ(i.fileType, QvFileItem::kRecording);
        EXPECT_EQ(i.size, 5);
        EXPECT_EQ(i.path, fm.recordPath() + "/Cam/" + std::to_string(i.channel) + "/");
        if (i.name == "2014_05_07_13_05_09.mp4") {
            EXPECT_EQ(i.time, t0);
        }
    }
    EXPECT_EQ(fm.searchResult(), found);

    auto photos = fm.searchPhotoFile(t0, t0 + 60, "Cam", {1});
    EXPECT_TRUE(photos.empty()) << "photos are searched under the photo root";
    EXPECT_TRUE(fm.searchResult().empty()) << "a new search replaces the last result";

    // Local time, not UTC.
    setenv("TZ", "JST-9", 1);
    tzset();
    auto shifted = fm.searchRecordFile(t0 - 9 * 3600, t0 - 9 * 3600, "Cam", {1});
    ASSERT_EQ(shifted.size(), 1u);
    EXPECT_EQ(shifted[0].name, "2014_05_07_13_05_09.mp4");
}

TEST_F(FileManagerTest, AMoveAcrossFileSystemsNeverTouchesAnExistingDestination) {
    // /dev/shm is a separate file system on most Linux machines: a rename
    // from there fails with EXDEV and the move copies instead.
    char pattern[] = "/dev/shm/lumora-fm-XXXXXX";
    if (!::mkdtemp(pattern)) GTEST_SKIP() << "no /dev/shm";
    const std::string other = pattern;
    struct Cleanup {
        std::string path;
        ~Cleanup() { fs::remove_all(path); }
    } cleanup{other};
    struct stat a {}, b {};
    if (::stat(other.c_str(), &a) != 0 || ::stat(dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system";

    FileManager fm;
    // A finished recording whose name is taken in its channel folder.
    writeFile(fm.recordPath() + "/Cam/3/clip.mp4", 7);
    writeFile(other + "/clip.mp4", 4);
    EXPECT_FALSE(fm.moveRecordToFinalDestination(other + "/clip.mp4", "Cam", 3));
    std::error_code ec;
    EXPECT_EQ(fs::file_size(fm.recordPath() + "/Cam/3/clip.mp4", ec), 7u) << "the stored recording is kept";
    EXPECT_TRUE(exists(other + "/clip.mp4"));

    // A folder whose destination exists: nothing merged, nothing lost.
    writeFile(fm.photoPath() + "/Cam/1/keep.png", 3);
    writeFile(other + "/old/1/new.png", 2);
    EXPECT_FALSE(fm.moveFolder(other + "/old", fm.photoPath() + "/Cam"));
    EXPECT_TRUE(exists(fm.photoPath() + "/Cam/1/keep.png"));
    EXPECT_FALSE(exists(fm.photoPath() + "/Cam/1/new.png"));
    EXPECT_TRUE(exists(other + "/old/1/new.png"));

    // To a free name the copy goes through and the source goes.
    EXPECT_TRUE(fm.moveFolder(other + "/old", fm.photoPath() + "/Moved"));
    EXPECT_TRUE(exists(fm.photoPath() + "/Moved/1/new.png"));
    EXPECT_FALSE(exists(other + "/old"));
}
