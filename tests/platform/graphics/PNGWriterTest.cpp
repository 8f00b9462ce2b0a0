#include "platform/graphics/PNGWriter.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstring>

#include "support/TempDir.h"

using namespace lumora;

namespace {

RGBAImage pattern(int w, int h) {
    RGBAImage img{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>(i * 31 + i / 7);
    return img;
}

}  // namespace

TEST(PNGWriter, WritesAFileLibpngReadsBackExactly) {
    test::TempDir dir;
    const RGBAImage img = pattern(321, 7);
    ASSERT_TRUE(PNGWriter::write(dir.file("a.png"), img));

    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, dir.file("a.png").c_str()));
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> back(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(png.width, 321u);
    EXPECT_EQ(png.height, 7u);
    EXPECT_EQ(back, img.pixels);
}

TEST(PNGWriter, RefusesBadPicturesAndUnwritablePaths) {
    test::TempDir dir;
    std::vector<uint8_t> out;
    EXPECT_FALSE(PNGWriter::encode(RGBAImage{}, out));
    RGBAImage shortImage = pattern(4, 4);
    shortImage.pixels.resize(63);  // one byte short of 4 x 4 x 4
    EXPECT_FALSE(PNGWriter::encode(shortImage, out));
    EXPECT_TRUE(out.empty());

    const std::string path = dir.file("missing/a.png");
    EXPECT_FALSE(PNGWriter::write(path, pattern(4, 4)));
    struct stat st;
    EXPECT_NE(::stat(path.c_str(), &st), 0);
    EXPECT_FALSE(PNGWriter::write(dir.file("b.png"), shortImage));
    EXPECT_NE(::stat(dir.file("b.png").c_str(), &st), 0);
}
