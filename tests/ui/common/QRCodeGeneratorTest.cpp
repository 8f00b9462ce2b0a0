#include <gtest/gtest.h>
#include <zbar.h>

#include <qrencode.h>

#include <QImage>
#include <string>
#include <vector>

#include "ui/common/QRCodeGenerator.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

// Reads every QR symbol zbar finds in the picture, composited over white.
std::vector<std::string> scan(const RGBAImage& picture) {
    std::vector<uint8_t> grey(static_cast<size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = picture.pixel(x, y);
            // Black ink over a white sheet: the alpha decides.
            grey[static_cast<size_t>(y) * picture.width + x] = static_cast<uint8_t>(255 - p[3] * (255 - p[0]) / 255);
        }
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(picture.width, picture.height, "Y800", grey.data(), grey.size());
    scanner.scan(image);
    std::vector<std::string> found;
    for (auto s = image.symbol_begin(); s != image.symbol_end(); ++s) found.push_back(s->get_data());
    image.set_data(nullptr, 0);
    return found;
}

TEST(QRCodeGeneratorTest, PicturesReadBackAsTheirTexts) {
    KitTestDriver driver;
    struct Case {
        const char* what;
        std::string text;
        float size;
    };
    const std::string long2000 = [] {
        std::string s;
        for (int i = 0; s.size() < 2000; ++i) s += "cam" + std::to_string(i) + "/";
        return s.substr(0, 2000);
    }();
    for (const Case& c : {Case{"uid", "ABCD-123456-EFGH", 270}, Case{"lower case kept", "http://x.invalid/a?b=c", 300},
                          Case{"utf-8", "摄像机 № 7 – Straße", 300}, Case{"2000 characters", long2000, 1200}}) {
        SCOPED_TRACE(c.what);
        auto image = QRCodeGenerator::qrImageForString(c.text, c.size);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size().width, c.size);
        EXPECT_EQ(image->size().height, c.size);
        RGBAImage pixels = QRCodeGenerator::qrPixelsForString(c.text, c.size);
        std::vector<std::string> found = scan(pixels);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0], c.text);
    }
}

class Screen : public UIViewController {};

TEST(QRCodeGeneratorTest, PictureOnScreenReadsBack) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    const std::string text = "ssid:home-net pass:Ab9 UID-0042";
    auto* view = new UIImageView(QRCodeGenerator::qrImageForString(text, 270));
    view->setFrame(CGRectMake(25, 105, 270, 270));
    screen->view()->addSubview(view);
    driver.settle();
    driver.saveScreenshot(::testing::TempDir() + "qr_on_screen.png");
    QImage shot = driver.screenshot().convertToFormat(QImage::Format_RGBA8888);
    RGBAImage picture;
    picture.width = shot.width();
    picture.height = shot.height();
    for (int y = 0; y < shot.height(); ++y) {
        const uint8_t* row = shot.constScanLine(y);
        picture.pixels.insert(picture.pixels.end(), row, row + picture.rowBytes());
    }
    EXPECT_EQ(scan(picture), std::vector<std::string>{text});
}

TEST(QRCodeGeneratorTest, RefusedTextsGiveNoPicture) {
    KitTestDriver driver;
    EXPECT_FALSE(QRCodeGenerator::qrImageForString("", 270));
    // More than the largest symbol holds at level L.
    EXPECT_FALSE(QRCodeGenerator::qrImageForString(std::string(3000, 'x'), 2000));
    // Fewer pixels than modules.
    EXPECT_FALSE(QRCodeGenerator::qrImageForString("ABC", 20));
}

TEST(QRCodeGeneratorTest, TwentyOneModulesAtSize270StartThirtyPixelsIn) {
    // A 21-module symbol: 270 / 27 = 10 pixels per module, 30 of margin.
    QRcode* code = QRcode_encodeString("hi", 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    ASSERT_TRUE(code);
    ASSERT_EQ(code->width, 21);
    RGBAImage picture = QRCodeGenerator::qrPixelsForString("hi", 270);
    ASSERT_EQ(picture.width, 270);
    auto dark = [&](int x, int y) { return picture.pixel(x, y)[3] == 255; };
    // The margin is clear, the finder pattern's corner is dark from (30, 30).
    for (int k = 0; k < 30; ++k) {
        EXPECT_FALSE(dark(k, 35));
        EXPECT_FALSE(dark(35, k));
        EXPECT_FALSE(dark(269 - k, 35));
    }
    EXPECT_TRUE(dark(30, 30));
    EXPECT_TRUE(dark(239, 30));  // top-right finder ends at 30 + 21 * 10 - 1
    EXPECT_FALSE(dark(240, 30));
    // Every module is one colour over its 10 x 10 pixels, by bit 0 alone.
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j) {
            bool want = code->data[i * 21 + j] & 1;
            EXPECT_EQ(dark(30 + j * 10, 30 + i * 10), want);
            EXPECT_EQ(dark(39 + j * 10, 39 + i * 10), want);
        }
    QRcode_free(code);
}

TEST(QRCodeGeneratorTest, OnlyBitZeroDecidesTheColour) {
    // A hand-made symbol whose bytes carry the encoder's marker bits.
    std::vector<unsigned char> data = {0x01, 0xc0, 0xa1, 0x80};
    QRcode code{1, 2, data.data()};
    RGBAImage picture;
    picture.width = picture.height = 80;  // 8 modules of 10 pixels
    picture.pixels.assign(picture.rowBytes() * 80, 0);
    QRCodeGenerator::drawQRCode(&code, picture, 80);
    EXPECT_EQ(picture.pixel(35, 35)[3], 255);
    EXPECT_EQ(picture.pixel(45, 35)[3], 0);
    EXPECT_EQ(picture.pixel(35, 45)[3], 255);
    EXPECT_EQ(picture.pixel(45, 45)[3], 0);
}

}  // namespace
