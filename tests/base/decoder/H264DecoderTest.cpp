#include <gtest/gtest.h>

#include <map>

#include "base/decoder/H264Decoder.h"
#include "base/decoder/QvYuv2RGB.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;
using test::AccessUnit;
using test::ClipOptions;

#define SKIP_WITHOUT_FFMPEG()                                                             \
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is missing (scripts/install-deps installs it)"

namespace {

struct Clip {
    std::vector<AccessUnit> units;
    std::vector<std::string> md5;
};

Clip makeClip(const test::TempDir& dir, const std::string& name, const ClipOptions& options) {
    Clip c;
    const std::string path = dir.file(name);
    EXPECT_TRUE(test::makeClip(path, options)) << name;
    c.units = test::splitAccessUnits(test::readFile(path));
    c.md5 = test::referenceMd5(path);
    return c;
}

}  // namespace

// Every picture, packed as Y, U, V without row gaps, is the picture ffmpeg
// itself decodes, in the same order; reordering delay is never a failure.
TEST(H264Decoder, PackedPicturesMatchFfmpegReference) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    struct Case {
        const char* name;
        ClipOptions options;
    } cases[] = {
        {"base704.h264", {704, 576, 30, 10, false}},
        {"main704.h264", {704, 576, 30, 10, true}},
        {"base854.h264", {854, 480, 30, 10, false}},  // rows padded in the decoder's planes
        {"main854.h264", {854, 480, 30, 10, true}},
        {"base1080.h264", {1920, 1080, 12, 6, false}},
        {"main1080.h264", {1920, 1080, 12, 6, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clip clip = makeClip(dir, c.name, c.options);
        ASSERT_EQ(clip.units.size(), static_cast<size_t>(c.options.frames));
        ASSERT_EQ(clip.md5.size(), static_cast<size_t>(c.options.frames));
        EXPECT_TRUE(clip.units[0].key);
        H264Decoder dec;
        ASSERT_TRUE(dec.open()) << dec.lastError();
        std::vector<std::string> got;
        std::vector<int64_t> tags;
        int notYet = 0;
        for (size_t i = 0; i < clip.units.size(); ++i) {
            auto r = dec.decode(clip.units[i].bytes.data(), clip.units[i].bytes.size(), static_cast<int64_t>(i),
                                [&](const AVFrame& pic, int64_t tag) {
                                    std::vector<uint8_t> yuv;
                                    ASSERT_TRUE(dec.packYuv420(pic, yuv));
                                    const size_t w = c.options.width, h = c.options.height;
                                    ASSERT_EQ(yuv.size(), w * h + 2 * (w / 2) * (h / 2));
                                    got.push_back(test::md5Hex(yuv.data(), yuv.size()));
                                    tags.push_back(tag);
                                });
            ASSERT_NE(r, H264Decoder::Result::Failed) << "unit " << i << ": " << dec.lastError();
            if (r == H264Decoder::Result::NoPictureYet) ++notYet;
        }
        EXPECT_EQ(dec.width(), c.options.width);
        EXPECT_EQ(dec.height(), c.options.height);
        if (!c.options.bFrames) {
            EXPECT_EQ(notYet, 0) << "low delay: a picture per unit";
        } else {
            EXPECT_GT(notYet, 0) << "reordering holds pictures back";
        }
        ASSERT_GE(got.size() + 2, clip.md5.size());
        for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], clip.md5[i]) << "picture " << i;
        // Each picture carries the tag of its own unit; every unit shows once.
        std::map<int64_t, int> seen;
        for (int64_t t : tags) EXPECT_EQ(++seen[t], 1) << "tag " << t;
    }
}

TEST(H264Decoder, OtherFormatsAreConvertedNotMisread) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    ClipOptions options{352, 288, 6, 6, false};
    options.pixFmt = "yuv422p";
    options.profile = "high422";
    Clip clip = makeClip(dir, "c422.h264", options);
    ASSERT_EQ(clip.units.size(), 6u);
    H264Decoder dec;
    ASSERT_TRUE(dec.open());
    std::vector<std::string> got;
    for (auto& u : clip.units) {
        dec.decode(u.bytes.data(), u.bytes.size(), 0, [&](const AVFrame& pic, int64_t) {
            EXPECT_EQ(pic.format, AV_PIX_FMT_YUV422P);
            std::vector<uint8_t> yuv;
            ASSERT_TRUE(dec.packYuv420(pic, yuv));
            ASSERT_EQ(yuv.size(), 352u * 288 * 3 / 2);
            got.push_back(test::md5Hex(yuv.data(), yuv.size()));
        });
    }
    ASSERT_EQ(got.size(), clip.md5.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], clip.md5[i]) << "picture " << i;
}

TEST(H264Decoder, BadInputFailsAndLaterKeyFrameRecovers) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    Clip clip = makeClip(dir, "c.h264", {352, 288, 12, 6, false});
    ASSERT_EQ(clip.units.size(), 12u);
    H264Decoder dec;
    EXPECT_EQ(dec.decode(clip.units[0].bytes.data(), clip.units[0].bytes.size(), 0, nullptr),
              H264Decoder::Result::Failed)
        << "not open";
    ASSERT_TRUE(dec.open());
    int pictures = 0;
    auto count = [&](const AVFrame&, int64_t) { ++pictures; };
    // A predicted frame before any key frame has nothing to refer to.
    EXPECT_EQ(dec.decode(clip.units[1].bytes.data(), clip.units[1].bytes.size(), 1, count),
              H264Decoder::Result::Failed);
    const uint8_t garbage[] = {0, 0, 0, 1, 0x65, 0xff, 0x13, 0x77, 0x00, 0x42};
    EXPECT_EQ(dec.decode(garbage, sizeof garbage, 2, count), H264Decoder::Result::Failed);
    EXPECT_EQ(dec.decode(nullptr, 0, 3, count), H264Decoder::Result::Failed);
    EXPECT_EQ(pictures, 0);
    EXPECT_EQ(dec.decode(clip.units[6].bytes.data(), clip.units[6].bytes.size(), 6, count),
              H264Decoder::Result::Picture);
    EXPECT_EQ(dec.decode(clip.units[7].bytes.data(), clip.units[7].bytes.size(), 7, count),
              H264Decoder::Result::Picture);
    EXPECT_EQ(pictures, 2);
}

// The RGB buffer follows a change of picture size, and holds what the
// converter makes of the packed planes.
TEST(H264Decoder, RgbFollowsPictureSizeChanges) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    Clip big = makeClip(dir, "big.h264", {704, 576, 2, 2, false});
    Clip small = makeClip(dir, "small.h264", {176, 144, 2, 2, false});
    H264Decoder dec;
    ASSERT_TRUE(dec.open());
    std::vector<uint8_t> rgb;
    std::vector<std::pair<int, int>> sizes;
    auto check = [&](const AVFrame& pic, int64_t) {
        ASSERT_TRUE(dec.convertToRgb32(pic, rgb));
        ASSERT_EQ(rgb.size(), static_cast<size_t>(pic.width) * pic.height * 4);
        std::vector<uint8_t> yuv, want(rgb.size());
        ASSERT_TRUE(dec.packYuv420(pic, yuv));
        const int w = pic.width, h = pic.height;
        QvYuv2RGB::convertYuv420ToRgb32(yuv.data(), yuv.data() + w * h, yuv.data() + w * h + (w / 2) * (h / 2),
                                        want.data(), w, h);
        for (size_t i = 0; i < rgb.size(); ++i) {
            if (i % 4 != 3 && rgb[i] != want[i]) FAIL() << "byte " << i;
        }
        sizes.push_back({w, h});
    };
    for (auto* clip : {&big, &small, &big})
        for (auto& u : clip->units) dec.decode(u.bytes.data(), u.bytes.size(), 0, check);
    ASSERT_EQ(sizes.size(), 6u);
    EXPECT_EQ(sizes[2], std::make_pair(176, 144));
    EXPECT_EQ(sizes[5], std::make_pair(704, 576));
}
