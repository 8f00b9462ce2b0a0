#include "base/utilities/QvGLView.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/decoder/H264Decoder.h"
#include "base/decoder/QvYuv2RGB.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"
#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/GLContext.h"
#include "platform/graphics/RenderThread.h"
#include "platform/runloop/RunLoop.h"
#include "platform/graphics/Screen.h"

using namespace lumora;

namespace {

struct YUV {
    int y, u, v;
};
struct RGB {
    int r, g, b;
};

// BT.601 studio range, the rule the view's fragment shader follows.
RGB bt601(YUV c) {
    auto clamp = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 255.0))); };
    const double y = 1.164 * (c.y - 16), u = c.u - 128, v = c.v - 128;
    return RGB{clamp(y + 1.596 * v), clamp(y - 0.392 * u - 0.813 * v), clamp(y + 2.017 * u)};
}

// A packed YUV 4:2:0 picture; the allocation holds exactly its planes, so a
// read past the end is a heap overflow the sanitizer build reports.
std::vector<uint8_t> makePicture(int w, int h, const std::function<YUV(int x, int y)>& at) {
    const size_t luma = static_cast<size_t>(w) * h, chroma = static_cast<size_t>(w / 2) * (h / 2);
    std::vector<uint8_t> p(luma + 2 * chroma);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(at(x, y).y);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            const YUV c = at(2 * x, 2 * y);
            p[luma + static_cast<size_t>(y) * (w / 2) + x] = static_cast<uint8_t>(c.u);
            p[luma + chroma + static_cast<size_t>(y) * (w / 2) + x] = static_cast<uint8_t>(c.v);
        }
    return p;
}

std::vector<uint8_t> solid(int w, int h, YUV c) {
    return makePicture(w, h, [c](int, int) { return c; });
}

// Four quadrants of distinct colours: tells orientation and stretching.
constexpr YUV kRed{81, 90, 240}, kGreen{145, 54, 34}, kBlue{41, 240, 110}, kWhite{235, 128, 128};
std::vector<uint8_t> quadrants(int w, int h) {
    return makePicture(w, h, [w, h](int x, int y) {
        if (y < h / 2) return x < w / 2 ? kRed : kGreen;
        return x < w / 2 ? kBlue : kWhite;
    });
}

::testing::AssertionResult near(const RGBAImage& img, int x, int y, RGB want, int alpha = 255, int tol = 3) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height)
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " outside " << img.width << "x"
                                             << img.height;
    const uint8_t* p = img.pixel(x, y);
    if (std::abs(p[0] - want.r) > tol || std::abs(p[1] - want.g) > tol || std::abs(p[2] - want.b) > tol ||
        p[3] != alpha)
        return ::testing::AssertionFailure()
               << "pixel " << x << "," << y << " is " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << ","
               << int(p[3]) << ", want " << want.r << "," << want.g << "," << want.b << "," << alpha;
    return ::testing::AssertionSuccess();
}

constexpr RGB kBlack{0, 0, 0};

// Counts pixels of a row (or column) that are opaque black.
int blackRun(const RGBAImage& img, int fixed, bool alongRow, bool fromStart) {
    const int n = alongRow ? img.width : img.height;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const int k = fromStart ? i : n - 1 - i;
        const uint8_t* p = alongRow ? img.pixel(k, fixed) : img.pixel(fixed, k);
        if (p[0] > 2 || p[1] > 2 || p[2] > 2) break;
        ++count;
    }
    return count;
}

struct DecodedPNG {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

DecodedPNG readPNG(const std::string& path) {
    DecodedPNG d;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return d;
    png.format = PNG_FORMAT_RGBA;
    d.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, d.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return d;
    }
    d.ok = true;
    d.width = static_cast<int>(png.width);
    d.height = static_cast<int>(png.height);
    return d;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class QvGLViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!GLContext::available(&why)) GTEST_SKIP() << "OpenGL ES 2 is not available here: " << why;
        Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
        Screen::main().setScale(1.0);
    }
    void TearDown() override { Screen::main().reset(); }
};

}  // namespace

TEST(QvGLViewGeometry, FittedViewportKeepsAspectAndCentres) {
    struct Case {
        int areaW, areaH, w, h;
        QvGLView::Viewport want;
    } cases[] = {
        {640, 480, 704, 576, {27, 0, 586, 480}},   // narrower picture: bars left and right
        {640, 480, 1280, 720, {0, 60, 640, 360}},  // wider picture: bars above and below
        {640, 480, 320, 240, {0, 0, 640, 480}},    // equal aspect fills the area
        {321, 241, 321, 241, {0, 0, 321, 241}},
        {640, 360, 640, 480, {80, 0, 480, 360}},
        {0, 480, 704, 576, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvGLView::fittedViewport(c.areaW, c.areaH, c.w, c.h), c.want)
            << c.w << "x" << c.h << " in " << c.areaW << "x" << c.areaH;
}

TEST(QvGLViewGeometry, DrawingAreaUndoesTheZoom) {
    EXPECT_EQ(QvGLView::drawingArea(Rect{0, 0, 320, 240}, 2.0, 1.0f), (QvGLView::Viewport{0, 0, 640, 480}));
    // Zoomed to 2: the frame doubled, the area did not.
    EXPECT_EQ(QvGLView::drawingArea(Rect{-160, -120, 640, 480}, 2.0, 2.0f), (QvGLView::Viewport{0, 0, 640, 480}));
    // A zoom scale that is no scale counts as 1 instead of dividing by zero.
    for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        EXPECT_EQ(QvGLView::drawingArea(Rect{0, 0, 320, 240}, 2.0, bad), (QvGLView::Viewport{0, 0, 640, 480}));
}

TEST(QvGLViewGeometry, PictureSizeIsThePackedPlanes) {
    EXPECT_EQ(QvGLView::yuvSize(704, 576), 704u * 576u * 3 / 2);
    EXPECT_EQ(QvGLView::yuvSize(321, 241), 321u * 241u + 2u * 160u * 120u);
    EXPECT_EQ(QvGLView::yuvSize(1, 1), 0u);
    EXPECT_EQ(QvGLView::yuvSize(-4, 4), 0u);
}

TEST_F(QvGLViewTest, SolidColoursMatchBT601AtOddAndPaddedSizes) {
    const YUV colours[] = {{16, 128, 128}, {235, 128, 128}, {126, 128, 128}, kRed, kGreen, kBlue,
                           {255, 255, 128}, {0, 0, 128},    {100, 60, 200}};
    const int sizes[][2] = {{321, 241}, {854, 480}, {64, 48}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        QvGLView view(Rect{0, 0, double(w), double(h)});
        ASSERT_TRUE(view.isReady());
        for (const YUV& c : colours) {
            ASSERT_TRUE(view.render(solid(w, h, c), w, h));
            const RGBAImage img = view.layer().contents();
            ASSERT_EQ(img.width, w);
            ASSERT_EQ(img.height, h);
            const RGB want = bt601(c);
            for (int y = 0; y < h; y += 7)
                for (int x = 0; x < w; x += 5) ASSERT_TRUE(near(img, x, y, want)) << w << "x" << h;
            ASSERT_TRUE(near(img, w - 1, h - 1, want));
        }
    }
}

TEST_F(QvGLViewTest, GradientIsDrawnUprightPixelForPixel) {
    // Luma differs in every pixel and direction; chroma changes slowly, so
    // the chroma filtering moves a colour by at most one step.
    for (auto [w, h] : {std::pair{321, 241}, std::pair{854, 480}}) {
        auto at = [w = w, h = h](int x, int y) {
            return YUV{16 + (x * 7 + y * 3) % 220, 40 + (x / 2) * 170 / (w / 2), 210 - (y / 2) * 170 / (h / 2)};
        };
        QvGLView view(Rect{0, 0, double(w), double(h)});
        ASSERT_TRUE(view.render(makePicture(w, h, at), w, h));
        const RGBAImage img = view.layer().contents();
        ASSERT_EQ(img.width, w);
        for (int y = 0; y < h; y += 3)
            for (int x = 0; x < w; x += 2) {
                // Luma of this pixel, chroma of its 2 x 2 block (the
                // filter blends in a neighbour at most one step away); an
                // odd size's last row and column use the last chroma sample.
                YUV c = at(x, y);
                const int cx = std::min(x / 2, w / 2 - 1), cy = std::min(y / 2, h / 2 - 1);
                c.u = at(2 * cx, 2 * cy).u;
                c.v = at(2 * cx, 2 * cy).v;
                ASSERT_TRUE(near(img, x, y, bt601(c), 255, 4)) << w << "x" << h;
            }
    }
}

TEST_F(QvGLViewTest, FittedModeLetterboxesWithBlack) {
    Screen::main().setScale(2.0);
    struct Case {
        int w, h;
        int barTop, barLeft;  // in the 640 x 480 drawable
    } cases[] = {{1280, 720, 60, 0}, {704, 576, 0, 27}, {640, 480, 0, 0}};
    QvGLView view(Rect{0, 0, 320, 240});
    for (const Case& c : cases) {
        ASSERT_TRUE(view.render(solid(c.w, c.h, kWhite), c.w, c.h));
        const RGBAImage img = view.layer().contents();
        ASSERT_EQ(img.width, 640);
        ASSERT_EQ(img.height, 480);
        EXPECT_EQ(blackRun(img, 320, false, true), c.barTop) << c.w << "x" << c.h;
        EXPECT_EQ(blackRun(img, 320, false, false), c.barTop) << c.w << "x" << c.h;
        // 640 - 586 leaves 54: 27 on either side.
        EXPECT_EQ(blackRun(img, 240, true, true), c.barLeft) << c.w << "x" << c.h;
        EXPECT_EQ(blackRun(img, 240, true, false), c.barLeft) << c.w << "x" << c.h;
        EXPECT_TRUE(near(img, 0, 0, c.barTop || c.barLeft ? kBlack : bt601(kWhite)));
    }
    // Aspect kept: a 4:3 picture of quadrants in a 16:9 view keeps its
    // quadrants square to the picture, centred between bars.
    QvGLView wide(Rect{0, 0, 320, 180});  // 640 x 360: picture 480 x 360 at x 80
    ASSERT_TRUE(wide.render(quadrants(640, 480), 640, 480));
    const RGBAImage img = wide.layer().contents();
    EXPECT_TRUE(near(img, 79, 100, kBlack));
    EXPECT_TRUE(near(img, 82, 2, bt601(kRed)));
    EXPECT_TRUE(near(img, 317, 177, bt601(kRed)));
    EXPECT_TRUE(near(img, 322, 177, bt601(kGreen)));
    EXPECT_TRUE(near(img, 317, 182, bt601(kBlue)));
    EXPECT_TRUE(near(img, 557, 357, bt601(kWhite)));
    EXPECT_TRUE(near(img, 560, 100, kBlack));
}

TEST_F(QvGLViewTest, FullScreenStretchesWithoutBars) {
    Screen::main().setScale(2.0);
    QvGLView view(Rect{0, 0, 320, 180});  // 16:9 drawable of 640 x 360
    ASSERT_TRUE(view.renderOnFullScreen(quadrants(640, 480), 640, 480));
    const RGBAImage img = view.layer().contents();
    ASSERT_EQ(img.width, 640);
    ASSERT_EQ(img.height, 360);
    EXPECT_TRUE(near(img, 0, 0, bt601(kRed)));
    EXPECT_TRUE(near(img, 317, 177, bt601(kRed)));
    EXPECT_TRUE(near(img, 322, 177, bt601(kGreen)));
    EXPECT_TRUE(near(img, 639, 0, bt601(kGreen)));
    EXPECT_TRUE(near(img, 0, 359, bt601(kBlue)));
    EXPECT_TRUE(near(img, 317, 182, bt601(kBlue)));
    EXPECT_TRUE(near(img, 639, 359, bt601(kWhite)));
    // Full-screen textures stay until the next picture; drawing again works.
    ASSERT_TRUE(view.renderOnFullScreen(solid(640, 480, kBlue), 640, 480));
    EXPECT_TRUE(near(view.layer().contents(), 639, 359, bt601(kBlue)));
}

TEST_F(QvGLViewTest, ZoomScaleFromRenderQueueKeepsThePicture) {
    Screen::main().setScale(2.0);
    QvGLView view(Rect{0, 0, 320, 240});
    const auto picture = quadrants(704, 576);
    ASSERT_TRUE(view.render(picture, 704, 576));
    const RGBAImage atOne = view.layer().contents();

    // The scroll view zooms the view to 2: its frame doubles.
    view.setTransformScale(2.0);
    ASSERT_EQ(view.frame().width, 640);
    // Before the pane hands over the zoom scale, the area is taken from the
    // enlarged frame: the picture overflows the drawable.
    ASSERT_TRUE(view.render(picture, 704, 576));
    EXPECT_NE(view.layer().contents().pixels, atOne.pixels);

    // When zooming ends the pane sets the scale from its own serial queue.
    DispatchQueuePtr renderQueue = DispatchQueue::createSerial("RenderQueue");
    renderQueue->sync([&] { view.setZoomScale(2.0f); });
    EXPECT_EQ(view.zoomScale(), 2.0f);
    ASSERT_TRUE(view.render(picture, 704, 576));
    EXPECT_EQ(view.layer().contents().pixels, atOne.pixels);
}

TEST_F(QvGLViewTest, RenderClearLeavesTransparentBlack) {
    QvGLView view(Rect{0, 0, 64, 48});
    ASSERT_TRUE(view.render(solid(64, 48, kWhite), 64, 48));
    ASSERT_TRUE(near(view.layer().contents(), 10, 10, bt601(kWhite)));
    view.renderClear();
    const RGBAImage img = view.layer().contents();
    ASSERT_EQ(img.width, 64);
    for (size_t i = 0; i < img.pixels.size(); ++i) ASSERT_EQ(img.pixels[i], 0) << "byte " << i;
    // Pictures draw again afterwards.
    ASSERT_TRUE(view.renderOnFullScreen(solid(64, 48, kRed), 64, 48));
    view.renderClear();
    EXPECT_TRUE(near(view.layer().contents(), 63, 47, kBlack, 0));
    ASSERT_TRUE(view.render(solid(64, 48, kGreen), 64, 48));
    EXPECT_TRUE(near(view.layer().contents(), 63, 47, bt601(kGreen)));
}

TEST_F(QvGLViewTest, SnapshotsGoToTheNextPicturesOneEach) {
    test::TempDir dir;
    QvGLView view(Rect{0, 0, 321, 241});
    std::vector<std::pair<std::string, bool>> reports;
    view.setSnapshotHandler([&](const std::string& path, bool ok) { reports.emplace_back(path, ok); });

    ASSERT_TRUE(view.render(solid(321, 241, kBlue), 321, 241));  // before any request
    view.takeSnapshot(dir.file("first.png"));
    view.takeSnapshot(dir.file("second.png"));
    EXPECT_FALSE(exists(dir.file("first.png")));  // only a picture drawn later is written

    const auto first = quadrants(321, 241);
    ASSERT_TRUE(view.render(first, 321, 241));
    EXPECT_TRUE(exists(dir.file("first.png")));
    EXPECT_FALSE(exists(dir.file("second.png")));
    const RGBAImage shown = view.layer().contents();

    DecodedPNG png = readPNG(dir.file("first.png"));
    ASSERT_TRUE(png.ok);
    ASSERT_EQ(png.width, 321);
    ASSERT_EQ(png.height, 241);
    // Upright, the picture as presented, opaque.
    for (size_t i = 0; i < png.rgba.size(); ++i) ASSERT_EQ(png.rgba[i], shown.pixels[i]) << "byte " << i;
    RGBAImage fromFile{png.width, png.height, png.rgba};
    EXPECT_TRUE(near(fromFile, 0, 0, bt601(kRed)));
    EXPECT_TRUE(near(fromFile, 320, 240, bt601(kWhite)));

    ASSERT_TRUE(view.renderOnFullScreen(solid(321, 241, kGreen), 321, 241));
    DecodedPNG second = readPNG(dir.file("second.png"));
    ASSERT_TRUE(second.ok);
    EXPECT_TRUE(near(RGBAImage{second.width, second.height, second.rgba}, 160, 120, bt601(kGreen)));
    EXPECT_EQ(view.pendingSnapshotCount(), 0u);

    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], std::make_pair(dir.file("first.png"), true));
    EXPECT_EQ(reports[1], std::make_pair(dir.file("second.png"), true));
}

TEST_F(QvGLViewTest, SnapshotThatCannotBeWrittenIsReportedAndLeavesNoFile) {
    test::TempDir dir;
    QvGLView view(Rect{0, 0, 64, 48});
    std::vector<std::pair<std::string, bool>> reports;
    view.setSnapshotHandler([&](const std::string& path, bool ok) { reports.emplace_back(path, ok); });
    const std::string missing = dir.file("no-such-folder/shot.png");
    view.takeSnapshot(missing);
    view.takeSnapshot(dir.file("next.png"));
    ASSERT_TRUE(view.render(solid(64, 48, kRed), 64, 48));
    EXPECT_FALSE(exists(missing));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], std::make_pair(missing, false));
    // One request per picture: the failed one is gone, the next waits.
    EXPECT_EQ(view.pendingSnapshotCount(), 1u);
    EXPECT_FALSE(view.snapshot(missing));
}

TEST_F(QvGLViewTest, ShortOrUndrawablePicturesAreRefused) {
    test::TempDir dir;
    QvGLView view(Rect{0, 0, 854, 480});
    ASSERT_TRUE(view.render(solid(854, 480, kGreen), 854, 480));
    const uint64_t presented = view.layer().presentCount();
    view.takeSnapshot(dir.file("shot.png"));

    for (auto [w, h] : {std::pair{854, 480}, std::pair{321, 241}}) {
        // Exactly one byte short: refused without reading the buffer's end.
        std::vector<uint8_t> shortPicture(QvGLView::yuvSize(w, h) - 1, 200);
        EXPECT_FALSE(view.render(shortPicture, w, h));
        EXPECT_FALSE(view.renderOnFullScreen(shortPicture, w, h));
    }
    const std::vector<uint8_t> some(64, 128);
    EXPECT_FALSE(view.render(nullptr, 1000, 16, 16));
    for (auto [w, h] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{-2, 4}, std::pair{4, -2}, std::pair{1, 64},
                        std::pair{100000, 2}, std::pair{2, 100000}})
        EXPECT_FALSE(view.render(some.data(), std::numeric_limits<size_t>::max(), w, h)) << w << "x" << h;

    // Nothing was drawn, presented or written for the refused pictures; the
    // snapshot waits for a good one.
    EXPECT_EQ(view.layer().presentCount(), presented);
    EXPECT_TRUE(near(view.layer().contents(), 0, 0, bt601(kGreen)));
    EXPECT_FALSE(exists(dir.file("shot.png")));
    EXPECT_EQ(view.pendingSnapshotCount(), 1u);
    ASSERT_TRUE(view.render(solid(854, 480, kRed), 854, 480));
    EXPECT_TRUE(exists(dir.file("shot.png")));

    // A picture of exactly its planes' size is drawn, odd sizes included
    // (their chroma planes are (width / 2) x (height / 2)).
    for (auto [w, h] : {std::pair{321, 241}, std::pair{853, 479}, std::pair{2, 2}}) {
        const auto exact = solid(w, h, kBlue);
        ASSERT_EQ(exact.size(), QvGLView::yuvSize(w, h));
        EXPECT_TRUE(view.render(exact, w, h)) << w << "x" << h;
        EXPECT_TRUE(near(view.layer().contents(), 427, 240, bt601(kBlue))) << w << "x" << h;
    }
}

TEST_F(QvGLViewTest, UpdateFrameResizesTheDrawable) {
    Screen::main().setScale(2.0);
    QvGLView view(Rect{0, 0, 50, 40});
    ASSERT_TRUE(view.render(solid(64, 48, kRed), 64, 48));
    EXPECT_EQ(view.layer().contents().width, 100);
    view.updateFrame(Rect{2, 2, 160, 90});
    ASSERT_TRUE(view.renderOnFullScreen(solid(64, 48, kRed), 64, 48));
    const RGBAImage img = view.layer().contents();
    EXPECT_EQ(img.width, 320);
    EXPECT_EQ(img.height, 180);
    EXPECT_TRUE(near(img, 319, 179, bt601(kRed)));

    // An empty frame draws nothing and keeps what was shown.
    view.updateFrame(Rect{0, 0, 0, 0});
    EXPECT_FALSE(view.render(solid(64, 48, kBlue), 64, 48));
    EXPECT_TRUE(near(view.layer().contents(), 0, 0, bt601(kRed)));
}

TEST_F(QvGLViewTest, ViewsSharingTheThreadKeepTheirOwnPictures) {
    auto a = std::make_unique<QvGLView>(Rect{0, 0, 64, 48});
    QvGLView b(Rect{0, 0, 32, 24});
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(a->render(solid(64, 48, kRed), 64, 48));
        ASSERT_TRUE(b.render(solid(32, 24, kBlue), 32, 24));
    }
    EXPECT_TRUE(near(a->layer().contents(), 5, 5, bt601(kRed)));
    EXPECT_TRUE(near(b.layer().contents(), 5, 5, bt601(kBlue)));
    a.reset();  // releasing one view leaves the other working
    ASSERT_TRUE(b.render(solid(32, 24, kGreen), 32, 24));
    EXPECT_TRUE(near(b.layer().contents(), 5, 5, bt601(kGreen)));
}

TEST_F(QvGLViewTest, MissingShadersLeaveAViewThatDrawsNothing) {
    test::TempDir empty;
    Config::shared().resourceDir = empty.path();
    QvGLView view(Rect{0, 0, 64, 48});
    EXPECT_FALSE(view.isReady());
    view.takeSnapshot(empty.file("shot.png"));
    EXPECT_FALSE(view.render(solid(64, 48, kRed), 64, 48));
    EXPECT_FALSE(view.renderOnFullScreen(solid(64, 48, kRed), 64, 48));
    view.renderClear();
    view.updateFrame(Rect{0, 0, 32, 32});
    EXPECT_FALSE(view.snapshot(empty.file("direct.png")));
    EXPECT_EQ(view.layer().presentCount(), 0u);
    EXPECT_FALSE(exists(empty.file("shot.png")));
}

// The road the panes use: a decoded H.264 picture, packed by the decoder, is
// drawn as the RGB conversion for RGB pictures would show it.
TEST_F(QvGLViewTest, DecodedPictureLooksLikeItsRGBConversion) {
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is needed to make the clip";
    test::TempDir dir;
    const int w = 854, h = 480;  // decoder rows are padded at this width
    ASSERT_TRUE(test::makeClip(dir.file("clip.h264"), test::ClipOptions(w, h, 1, 1)));
    const auto units = test::splitAccessUnits(test::readFile(dir.file("clip.h264")));
    ASSERT_FALSE(units.empty());

    H264Decoder decoder;
    ASSERT_TRUE(decoder.open()) << decoder.lastError();
    std::vector<uint8_t> yuv;
    for (const auto& unit : units)
        decoder.decode(unit.bytes.data(), unit.bytes.size(), 0,
                       [&](const AVFrame& picture, int64_t) { decoder.packYuv420(picture, yuv); });
    ASSERT_EQ(yuv.size(), QvGLView::yuvSize(w, h));

    QvYuv2RGB::setupDitherTable();
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 4);
    QvYuv2RGB::convertYuv420ToRgb32(yuv.data(), yuv.data() + w * h, yuv.data() + w * h + (w / 2) * (h / 2),
                                    bgr.data(), w, h);

    QvGLView view(Rect{0, 0, double(w), double(h)});
    ASSERT_TRUE(view.render(yuv, w, h));
    const RGBAImage img = view.layer().contents();
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    // The view filters chroma where the conversion repeats it, so they may
    // differ at sharp colour edges; wherever the chroma around a pixel is
    // even they must agree.
    const uint8_t* u = yuv.data() + w * h;
    const uint8_t* v = u + (w / 2) * (h / 2);
    auto evenChroma = [&](int cx, int cy) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = std::clamp(cx + dx, 0, w / 2 - 1), ny = std::clamp(cy + dy, 0, h / 2 - 1);
                const int a = ny * (w / 2) + nx, b = cy * (w / 2) + cx;
                if (std::abs(u[a] - u[b]) > 2 || std::abs(v[a] - v[b]) > 2) return false;
            }
        return true;
    };
    long compared = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!evenChroma(x / 2, y / 2)) continue;
            ++compared;
            const uint8_t* q = bgr.data() + (static_cast<size_t>(y) * w + x) * 4;
            ASSERT_TRUE(near(img, x, y, RGB{q[2], q[1], q[0]}));
        }
    EXPECT_GT(compared, long(w) * h * 3 / 4);
}

TEST(QvGLViewGeometry, FilledViewportCoversTheAreaCentred) {
    struct Case {
        int areaW, areaH, w, h;
        QvGLView::Viewport want;
    } cases[] = {
        {640, 480, 1280, 720, {-106, 0, 853, 480}},  // wider picture: its sides overhang
        {640, 480, 704, 576, {0, -21, 640, 523}},    // narrower picture: top and bottom overhang
        {640, 480, 320, 240, {0, 0, 640, 480}},      // equal aspect fills exactly
        {0, 480, 704, 576, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvGLView::filledViewport(c.areaW, c.areaH, c.w, c.h), c.want)
            << c.w << "x" << c.h << " in " << c.areaW << "x" << c.areaH;
}

TEST_F(QvGLViewTest, AspectFillCutsOffTheOverhang) {
    Screen::main().setScale(2.0);
    QvGLView view(Rect{0, 0, 320, 180});  // 640 x 360; a 4:3 picture becomes 640 x 480 at y -60
    ASSERT_TRUE(view.renderAspectFill(quadrants(640, 480), 640, 480));
    const RGBAImage img = view.layer().contents();
    ASSERT_EQ(img.width, 640);
    EXPECT_TRUE(near(img, 0, 0, bt601(kRed)));  // no bars anywhere
    EXPECT_TRUE(near(img, 639, 359, bt601(kWhite)));
    EXPECT_TRUE(near(img, 317, 177, bt601(kRed)));
    EXPECT_TRUE(near(img, 322, 182, bt601(kWhite)));
}

// ---------------------------------------------------------------- drawing on a render thread

namespace {

// Holds a render thread in a task until released, so tests can queue work
// behind it.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void block(RenderThread& t) {
        t.async([this] {
            std::unique_lock<std::mutex> g(m);
            cv.wait(g, [this] { return open; });
        });
    }
    void release() {
        {
            std::lock_guard<std::mutex> g(m);
            open = true;
        }
        cv.notify_all();
    }
};

bool runMainUntil(const std::function<bool()>& done) {
    return RunLoop::main().runUntil(done, std::chrono::seconds(20));
}

}  // namespace

TEST_F(QvGLViewTest, RenderThreadDrawsWhatTheCallingThreadDraws) {
    Screen::main().setScale(2.0);
    auto thread = RenderThread::create("test.render");
    const auto picture = quadrants(704, 576);
    struct Step {
        const char* name;
        std::function<bool(QvGLView&)> draw;
    } steps[] = {
        {"fitted", [&](QvGLView& v) { return v.render(picture, 704, 576); }},
        {"stretched", [&](QvGLView& v) { return v.renderOnFullScreen(picture, 704, 576); }},
        {"filled", [&](QvGLView& v) { return v.renderAspectFill(picture, 704, 576); }},
    };
    QvGLView here(Rect{0, 0, 320, 180});
    QvGLView there(Rect{0, 0, 320, 180}, thread);
    ASSERT_TRUE(there.isReady());
    EXPECT_TRUE(there.drawsOnRenderThread());
    for (const Step& s : steps) {
        ASSERT_TRUE(s.draw(here)) << s.name;
        ASSERT_TRUE(s.draw(there)) << s.name;
        there.waitUntilDrawn();
        EXPECT_EQ(there.layer().contents().pixels, here.layer().contents().pixels) << s.name;
    }
    // Zoom and frame changes follow the view.
    here.setTransformScale(2.0);
    there.setTransformScale(2.0);
    DispatchQueue::createSerial("RenderQueue")->sync([&] {
        here.setZoomScale(2.0f);
        there.setZoomScale(2.0f);
    });
    here.updateFrame(Rect{0, 0, 200, 150});
    there.updateFrame(Rect{0, 0, 200, 150});
    ASSERT_TRUE(here.render(picture, 704, 576));
    ASSERT_TRUE(there.render(picture, 704, 576));
    there.waitUntilDrawn();
    const RGBAImage img = there.layer().contents();
    EXPECT_EQ(img.width, 200);  // the zoomed frame of 200 points holds bounds of 100 points
    EXPECT_EQ(img.pixels, here.layer().contents().pixels);
}

// The GUI thread may hold a context of its own (the toolkit's); a view on a
// render thread never touches it, where one drawing on that thread would
// have to take it away.
TEST_F(QvGLViewTest, RenderThreadLeavesTheCallersContextAlone) {
    auto guiContext = GLContext::create();
    ASSERT_TRUE(guiContext);
    ASSERT_TRUE(GLContext::setCurrentContext(guiContext.get()));
    {
        QvGLView view(Rect{0, 0, 64, 48}, RenderThread::create("test.render"));
        ASSERT_TRUE(view.render(solid(64, 48, kGreen), 64, 48));
        view.renderClear();
        ASSERT_TRUE(view.render(solid(64, 48, kRed), 64, 48));
        view.waitUntilDrawn();
        EXPECT_TRUE(near(view.layer().contents(), 5, 5, bt601(kRed)));
        EXPECT_EQ(GLContext::currentContext(), guiContext.get());
    }
    EXPECT_EQ(GLContext::currentContext(), guiContext.get());
    {
        QvGLView sameThread(Rect{0, 0, 64, 48});
        ASSERT_TRUE(sameThread.render(solid(64, 48, kGreen), 64, 48));
        EXPECT_NE(GLContext::currentContext(), guiContext.get());  // why screens use a render thread
    }
    GLContext::setCurrentContext(nullptr);
}

TEST_F(QvGLViewTest, PresentedPicturesReachTheMainQueueNewestFirst) {
    auto thread = RenderThread::create("test.render");
    QvGLView view(Rect{0, 0, 64, 48}, thread);
    std::vector<std::shared_ptr<const RGBAImage>> reports;
    bool onMain = true;
    view.setPresentedHandler([&](const std::shared_ptr<const RGBAImage>& picture) {
        onMain = onMain && RunLoop::isMainThread();
        reports.push_back(picture);
    });
    ASSERT_TRUE(view.render(solid(64, 48, kRed), 64, 48));
    ASSERT_TRUE(runMainUntil([&] { return reports.size() == 1; }));
    ASSERT_TRUE(reports[0]);
    EXPECT_TRUE(near(*reports[0], 5, 5, bt601(kRed)));

    // Three presents before the main queue runs: one report, the newest picture.
    Gate gate;
    gate.block(*thread);
    for (YUV c : {kRed, kGreen, kBlue}) {
        ASSERT_TRUE(view.render(solid(64, 48, c), 64, 48));
        view.renderClear();  // keeps each picture its own task
    }
    ASSERT_TRUE(view.render(solid(64, 48, kWhite), 64, 48));
    gate.release();
    view.waitUntilDrawn();
    EXPECT_EQ(view.layer().presentCount(), 1u + 7u);
    ASSERT_TRUE(runMainUntil([&] { return reports.size() >= 2; }));
    RunLoop::main().runFor(std::chrono::milliseconds(20));
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_TRUE(near(*reports.back(), 5, 5, bt601(kWhite)));
    EXPECT_TRUE(onMain);
}

TEST_F(QvGLViewTest, RenderThreadDrawsTheNewestOfWaitingPictures) {
    auto thread = RenderThread::create("test.render");
    QvGLView view(Rect{0, 0, 64, 48}, thread);
    ASSERT_TRUE(view.isReady());
    Gate gate;
    gate.block(*thread);
    for (YUV c : {kRed, kGreen, kBlue}) ASSERT_TRUE(view.render(solid(64, 48, c), 64, 48));
    // A frame change seals the waiting picture: the next one comes after it.
    view.updateFrame(Rect{0, 0, 32, 24});
    ASSERT_TRUE(view.renderOnFullScreen(solid(64, 48, kWhite), 64, 48));
    gate.release();
    view.waitUntilDrawn();
    EXPECT_EQ(view.replacedPictureCount(), 2u);
    EXPECT_EQ(view.layer().presentCount(), 2u);  // blue at 64 x 48, white at 32 x 24
    const RGBAImage img = view.layer().contents();
    EXPECT_EQ(img.width, 32);
    EXPECT_TRUE(near(img, 31, 23, bt601(kWhite)));
}

TEST_F(QvGLViewTest, RenderThreadSnapshotsAreReportedOnTheMainQueue) {
    test::TempDir dir;
    auto thread = RenderThread::create("test.render");
    QvGLView view(Rect{0, 0, 321, 241}, thread);
    std::vector<std::pair<std::string, bool>> reports;
    view.setSnapshotHandler([&](const std::string& path, bool ok) {
        EXPECT_TRUE(RunLoop::isMainThread());
        reports.emplace_back(path, ok);
    });
    view.takeSnapshot(dir.file("shot.png"));
    view.takeSnapshot(dir.file("no-such-folder/shot.png"));
    ASSERT_TRUE(view.render(quadrants(321, 241), 321, 241));
    view.waitUntilDrawn();
    ASSERT_TRUE(view.renderOnFullScreen(solid(321, 241, kGreen), 321, 241));
    ASSERT_TRUE(runMainUntil([&] { return reports.size() == 2; }));
    EXPECT_EQ(reports[0], std::make_pair(dir.file("shot.png"), true));
    EXPECT_EQ(reports[1], std::make_pair(dir.file("no-such-folder/shot.png"), false));
    DecodedPNG png = readPNG(dir.file("shot.png"));
    ASSERT_TRUE(png.ok);
    RGBAImage fromFile{png.width, png.height, png.rgba};
    EXPECT_TRUE(near(fromFile, 0, 0, bt601(kRed)));
    EXPECT_TRUE(near(fromFile, 320, 240, bt601(kWhite)));
    // The direct snapshot waits for the render thread and writes what is shown.
    EXPECT_TRUE(view.snapshot(dir.file("direct.png")));
    DecodedPNG direct = readPNG(dir.file("direct.png"));
    ASSERT_TRUE(direct.ok);
    EXPECT_TRUE(near(RGBAImage{direct.width, direct.height, direct.rgba}, 160, 120, bt601(kGreen)));
}

TEST_F(QvGLViewTest, ViewGoneWithWorkQueuedDeliversNothing) {
    auto thread = RenderThread::create("test.render");
    int reports = 0;
    Gate gate;
    std::thread releaser;
    {
        QvGLView view(Rect{0, 0, 64, 48}, thread);
        view.setPresentedHandler([&](const std::shared_ptr<const RGBAImage>&) { ++reports; });
        ASSERT_TRUE(view.isReady());
        gate.block(*thread);
        ASSERT_TRUE(view.render(solid(64, 48, kRed), 64, 48));
        view.renderClear();
        // The view's end waits for the render thread: let it go on shortly.
        releaser = std::thread([&gate] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            gate.release();
        });
    }
    releaser.join();
    thread->flush();
    RunLoop::main().runFor(std::chrono::milliseconds(20));
    EXPECT_EQ(reports, 0);
}

TEST_F(QvGLViewTest, RefusedPicturesOnARenderThreadDrawNothing) {
    QvGLView view(Rect{0, 0, 64, 48}, RenderThread::create("test.render"));
    std::vector<uint8_t> shortPicture(QvGLView::yuvSize(64, 48) - 1, 100);
    EXPECT_FALSE(view.render(shortPicture, 64, 48));
    EXPECT_FALSE(view.render(nullptr, 1000, 16, 16));
    EXPECT_FALSE(view.render(shortPicture.data(), shortPicture.size(), 1, 1));
    std::vector<uint8_t> some(64, 1);
    EXPECT_FALSE(view.render(some.data(), std::numeric_limits<size_t>::max(), 100000, 2));
    view.waitUntilDrawn();
    EXPECT_EQ(view.layer().presentCount(), 0u);
}

TEST_F(QvGLViewTest, ManyViewsShareAFewRenderThreads) {
    std::vector<std::unique_ptr<QvGLView>> views;
    std::set<RenderThread*> threads;
    for (int i = 0; i < 16; ++i) {
        views.push_back(std::make_unique<QvGLView>(Rect{0, 0, 32, 24}, nullptr));
        threads.insert(views.back()->renderThread().get());
    }
    EXPECT_LE(threads.size(), RenderThread::sharedCount());
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(views[i]->render(solid(32, 24, i % 2 ? kRed : kBlue), 32, 24));
    for (int i = 0; i < 16; ++i) {
        views[i]->waitUntilDrawn();
        EXPECT_TRUE(near(views[i]->layer().contents(), 3, 3, bt601(i % 2 ? kRed : kBlue))) << i;
    }
}
