#include "base/utilities/PhotoAlbum.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvVideoRecorder.h"
#include "platform/Config.h"
#include "platform/graphics/PNGWriter.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;

namespace {

const std::string kClip = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";

bool recordClip(const std::string& path) {
    QvVideoRecorder recorder;
    if (!recorder.start(path, 320, 240, 40)) return false;
    for (const auto& unit : test::splitAccessUnits(test::readFile(kClip))) {
        MediaFrame f(unit.bytes);
        f.keyFrame = unit.key ? 1 : 0;
        recorder.addFrame(f);
    }
    return recorder.stop();
}

RGBAImage picture(int w, int h, uint8_t red) {
    RGBAImage img{w, h, std::vector<uint8_t>(size_t(w) * h * 4, 255)};
    for (size_t i = 0; i < img.pixels.size(); i += 4) img.pixels[i] = red;
    return img;
}

std::vector<uint8_t> readRGBA(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return {};
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> out(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, out.data(), 0, nullptr)) return {};
    return out;
}

class PhotoAlbumTest : public ::testing::Test {
protected:
    void SetUp() override { Config::shared().dataRoot = root.file("data"); }
    void TearDown() override { Config::shared().dataRoot.clear(); }
    std::string album(const std::string& name) const { return PhotoAlbum::folder() + "/" + name; }
    test::TempDir root;
};

}  // namespace

TEST_F(PhotoAlbumTest, SnapshotsAreSavedAsPNGPictures) {
    EXPECT_EQ(PhotoAlbum::folder(), root.file("data") + "/SavedPhotos");
    const RGBAImage first = picture(32, 24, 10);
    PhotoAlbum::writeImageToSavedPhotosAlbum(first);
    // A stored snapshot file, as the photo browsers save it.
    ASSERT_TRUE(PNGWriter::write(root.file("snap.png"), picture(8, 8, 200)));
    EXPECT_TRUE(PhotoAlbum::writeImageFileToSavedPhotosAlbum(root.file("snap.png")));
    // Not saved: no file, a file that is no picture, an empty picture.
    EXPECT_FALSE(PhotoAlbum::writeImageFileToSavedPhotosAlbum(root.file("gone.png")));
    std::ofstream(root.file("text.png")) << "hello";
    EXPECT_TRUE(PhotoAlbum::writeImageFileToSavedPhotosAlbum(root.file("text.png")));  // found out later
    PhotoAlbum::writeImageToSavedPhotosAlbum(RGBAImage{});
    PhotoAlbum::waitForPendingSaves();

    EXPECT_EQ(PhotoAlbum::items(), (std::vector<std::string>{"IMG_0001.png", "IMG_0002.png"}));
    EXPECT_EQ(readRGBA(album("IMG_0001.png")), first.pixels);
    EXPECT_EQ(readRGBA(album("IMG_0002.png")), picture(8, 8, 200).pixels);

    // Numbers go on past the highest in the folder, also one left by hand.
    std::ofstream(album("IMG_0041.png")) << "x";
    PhotoAlbum::writeImageToSavedPhotosAlbum(first);
    PhotoAlbum::waitForPendingSaves();
    EXPECT_EQ(PhotoAlbum::items().back(), "IMG_0042.png");
}

TEST_F(PhotoAlbumTest, OnlyMP4VideosAreCompatibleAndCopied) {
    const std::string rec = root.file("rec.mp4");
    ASSERT_TRUE(recordClip(rec));
    std::ofstream(root.file("note.mp4")) << "not a movie";
    std::ofstream(root.file("empty.mp4"));
    ::mkdir(root.file("folder.mp4").c_str(), 0700);
    struct Case {
        std::string path;
        bool compatible;
    } cases[] = {
        {rec, true},
        {root.file("missing.mp4"), false},
        {root.file("note.mp4"), false},
        {root.file("empty.mp4"), false},
        {root.file("folder.mp4"), false},
        {kClip, false},  // H.264 without the MP4 container
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PhotoAlbum::videoAtPathIsCompatibleWithSavedPhotosAlbum(c.path), c.compatible) << c.path;
        PhotoAlbum::saveVideoAtPathToSavedPhotosAlbum(c.path);
    }
    PhotoAlbum::waitForPendingSaves();
    EXPECT_EQ(PhotoAlbum::items(), (std::vector<std::string>{"VID_0001.mp4"}));
    EXPECT_EQ(test::readFile(album("VID_0001.mp4")), test::readFile(rec));
    struct stat st;
    ASSERT_EQ(::stat(album("VID_0001.mp4").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PhotoAlbumTest, NothingIsSavedWithoutADataFolder) {
    Config::shared().dataRoot.clear();
    EXPECT_EQ(PhotoAlbum::folder(), "");
    PhotoAlbum::writeImageToSavedPhotosAlbum(picture(4, 4, 1));
    const std::string rec = root.file("rec.mp4");
    ASSERT_TRUE(recordClip(rec));
    EXPECT_TRUE(PhotoAlbum::videoAtPathIsCompatibleWithSavedPhotosAlbum(rec));
    PhotoAlbum::saveVideoAtPathToSavedPhotosAlbum(rec);
    PhotoAlbum::waitForPendingSaves();
    EXPECT_TRUE(PhotoAlbum::items().empty());
}
