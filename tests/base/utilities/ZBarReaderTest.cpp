#include "base/utilities/ZBarReader.h"

#include <gtest/gtest.h>
#include <qrencode.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/utilities/QRCodeText.h"
#include "platform/graphics/PNGWriter.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"

using namespace lumora;

namespace {

// A QR code as the app's generator makes it (version chosen by the length,
// level L, 8-bit mode, case-sensitive): 4 pixels a module, 4 modules of
// quiet zone, black on white.
RGBAImage qrPicture(const std::string& text) {
    RGBAImage img;
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) return img;
    const int scale = 4, quiet = 4, side = (code->width + 2 * quiet) * scale;
    img.width = img.height = side;
    img.pixels.assign(img.rowBytes() * side, 255);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) continue;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx) {
                    uint8_t* p = img.pixels.data() + ((y + quiet) * scale + dy) * img.rowBytes() +
                                 ((x + quiet) * scale + dx) * 4;
                    p[0] = p[1] = p[2] = 0;
                }
        }
    QRcode_free(code);
    return img;
}

// An Interleaved 2 of 5 bar code of an even number of digits: start
// (narrow bar, space, bar, space), digit pairs (the first digit's widths in
// the bars, the second's in the spaces), stop (wide bar, narrow space,
// narrow bar). Narrow 2 pixels, wide 5.
RGBAImage interleaved2of5(const std::string& digits) {
    static const char* widths[10] = {"nnwwn", "wnnnw", "nwnnw", "wwnnn", "nnwnw",
                                     "wnwnn", "nwwnn", "nnnww", "wnnwn", "nwnwn"};
    std::vector<std::pair<bool, int>> runs;  // (bar, pixels)
    auto add = [&](bool bar, char w) { runs.emplace_back(bar, w == 'w' ? 5 : 2); };
    for (int i = 0; i < 4; ++i) add(i % 2 == 0, 'n');
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        for (int k = 0; k < 5; ++k) {
            add(true, widths[digits[i] - '0'][k]);
            add(false, widths[digits[i + 1] - '0'][k]);
        }
    add(true, 'w');
    add(false, 'n');
    add(true, 'n');
    int width = 40;
    for (auto& r : runs) width += r.second;
    RGBAImage img;
    img.width = width;
    img.height = 80;
    img.pixels.assign(img.rowBytes() * img.height, 255);
    int x = 20;
    for (auto& [bar, w] : runs) {
        if (bar)
            for (int y = 10; y < 70; ++y)
                for (int dx = 0; dx < w; ++dx) {
                    uint8_t* p = img.pixels.data() + y * img.rowBytes() + (x + dx) * 4;
                    p[0] = p[1] = p[2] = 0;
                }
        x += w;
    }
    return img;
}

class Recorder : public ZBarReaderDelegate {
public:
    void imagePickerController(ZBarReader&, const ZBarReaderInfo& info) override {
        auto it = info.find(ZBarReaderControllerResults);
        results.push_back(it == info.end() || it->second.empty() ? "<no symbols>" : it->second.front().data);
    }
    void imagePickerControllerDidCancel(ZBarReader&) override { ++cancelled; }
    void readerControllerDidFailToRead(ZBarReader&, bool retry) override {
        ++failed;
        lastRetry = retry;
    }
    int calls() const { return int(results.size()) + cancelled + failed; }
    std::vector<std::string> results;
    int cancelled = 0;
    int failed = 0;
    bool lastRetry = false;
};

bool runUntil(const std::function<bool()>& done) { return RunLoop::main().runUntil(done, std::chrono::seconds(20)); }

// The reader as the device-adding screens set it up.
std::shared_ptr<ZBarReader> screenReader(const std::shared_ptr<Recorder>& delegate) {
    auto reader = ZBarReader::create();
    reader->setReaderDelegate(delegate);
    reader->setSupportedOrientationsMask(30);
    EXPECT_TRUE(reader->scanner().setSymbology(25, 0, 0));
    return reader;
}

}  // namespace

TEST(QRCodeText, ClassifiesTheFormsOfAScannedText) {
    using K = QRCodeText::Kind;
    struct Case {
        const char* scanned;
        K kind;
        const char* text;
        const char* password;
    } cases[] = {
        {"QVIS-000123-ABCDE", K::Uid, "QVIS-000123-ABCDE", ""},
        {"http://example.com/app?id=7", K::Url, "http://example.com/app?id=7", ""},
        {"httppp:x", K::Url, "httppp:x", ""},
        {"https://example.com", K::Uid, "https://example.com", ""},  // the s before the colon
        {"http://exa mple.com", K::Uid, "http://exa mple.com", ""},  // a blank
        {"ssid:Home;password:s3cret", K::WiFi, "ssid: Home \n password:s3cret", "s3cret"},
        {"ssidd:Home;pw:a:b;extra:1", K::WiFi, "ssid: Home \n password:a", "a"},
        {"ssid:Ho:me;pw:x", K::WiFi, "ssid: Ho \n password:x", "x"},
        {"ssid:Home", K::Uid, "ssid:Home", ""},         // no second part
        {"ssid:Home;nopassword", K::Uid, "ssid:Home;nopassword", ""},
        {"ssid:Home;", K::Uid, "ssid:Home;", ""},
        {"ssid:Home; pw:x", K::Uid, "ssid:Home; pw:x", ""},  // a blank
        {"", K::Uid, "", ""},
        {"htt:x", K::Uid, "htt:x", ""},  // no p
        {"http:", K::Url, "http:", ""},
        {"http:a\tb", K::Uid, "http:a\tb", ""},
        {"http:a\r", K::Uid, "http:a\r", ""},
        {"http:a\xc2\xa0" "b", K::Url, "http:a\xc2\xa0" "b", ""},  // bytes of a wide blank are not blanks here
        {" http:a", K::Uid, " http:a", ""},
        {"ssi:Home;pw:x", K::Uid, "ssi:Home;pw:x", ""},
        {"ssidddd:Home;pw:x\v", K::Uid, "ssidddd:Home;pw:x\v", ""},
    };
    for (const Case& c : cases) {
        const QRCodeText t = QRCodeText::classify(c.scanned);
        EXPECT_EQ(t.kind, c.kind) << c.scanned;
        EXPECT_EQ(t.text, c.text) << c.scanned;
        EXPECT_EQ(t.password, c.password) << c.scanned;
    }
    EXPECT_EQ(QRCodeText::classify("ssid:Home;pw:x").ssid, "Home");
}

TEST(ZBarReader, ReadsBackRenderedCodesAndNotInterleaved2of5) {
    RunLoop::main();
    test::TempDir dir;
    struct Case {
        const char* name;
        std::string text;  // empty: the bar code below
        QRCodeText::Kind kind;
    } cases[] = {
        {"uid", "QVIS-000123-ABCDE", QRCodeText::Kind::Uid},
        {"url", "http://example.com/app?id=7&x=%20", QRCodeText::Kind::Url},
        {"wifi", "ssid:Home Net;password:s3cret:x;more", QRCodeText::Kind::Uid},  // a blank: not the form
        {"wifi2", "ssid:HomeNet;password:s3cret:x;more", QRCodeText::Kind::WiFi},
        {"malformed wifi", "ssid:HomeNet", QRCodeText::Kind::Uid},
        {"long uid", std::string(300, 'Q'), QRCodeText::Kind::Uid},
    };
    auto delegate = std::make_shared<Recorder>();
    auto reader = screenReader(delegate);
    EXPECT_EQ(reader->supportedOrientationsMask(), 30);
    for (const Case& c : cases) {
        const std::string path = dir.file(std::string(c.name) + ".png");
        ASSERT_TRUE(PNGWriter::write(path, qrPicture(c.text))) << c.name;
        const int before = delegate->calls();
        reader->readImageFile(path);
        ASSERT_TRUE(runUntil([&] { return delegate->calls() == before + 1; })) << c.name;
        ASSERT_EQ(delegate->results.size(), size_t(before + 1)) << c.name;
        EXPECT_EQ(delegate->results.back(), c.text) << c.name;
        EXPECT_EQ(QRCodeText::classify(delegate->results.back()).kind, c.kind) << c.name;
    }

    // The bar code is there to be read (a scanner with zbar's settings reads
    // it), but the reader's scanner has Interleaved 2 of 5 off.
    const RGBAImage bars = interleaved2of5("12345670");
    ZBarImageScanner plain;
    const ZBarSymbolSet found = plain.scanImage(ZBarImage::fromRGBA(bars));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].data, "12345670");
    EXPECT_EQ(found[0].type, ZBarImageScanner::kSymbologyInterleaved2of5);
    ASSERT_TRUE(PNGWriter::write(dir.file("i25.png"), bars));
    reader->readImageFile(dir.file("i25.png"));
    ASSERT_TRUE(runUntil([&] { return delegate->failed == 1; }));
    EXPECT_TRUE(delegate->lastRetry);
    EXPECT_EQ(delegate->results.size(), std::size(cases));
}

TEST(ZBarReader, UnreadableFilesFailAndCancelIsReported) {
    RunLoop::main();
    test::TempDir dir;
    auto delegate = std::make_shared<Recorder>();
    auto reader = screenReader(delegate);
    { std::FILE* f = std::fopen(dir.file("bad.png").c_str(), "w"); std::fputs("not a png", f); std::fclose(f); }
    ASSERT_TRUE(PNGWriter::write(dir.file("blank.png"), RGBAImage{64, 64, std::vector<uint8_t>(64 * 64 * 4, 255)}));
    for (const char* name : {"missing.png", "bad.png", "blank.png"}) reader->readImageFile(dir.file(name));
    ASSERT_TRUE(runUntil([&] { return delegate->failed == 3; }));
    EXPECT_TRUE(delegate->results.empty());
    reader->cancel();
    ASSERT_TRUE(runUntil([&] { return delegate->cancelled == 1; }));
    EXPECT_FALSE(reader->cameraRunning());
    // A camera that is not there does not start.
    EXPECT_FALSE(reader->startCamera("/dev/no-such-video"));
    if (ZBarReader::cameraDevices().empty()) {
        EXPECT_FALSE(reader->startCamera());
    }
}

TEST(ZBarReader, DelegateOrReaderGoneGetsNothing) {
    RunLoop::main();
    test::TempDir dir;
    ASSERT_TRUE(PNGWriter::write(dir.file("uid.png"), qrPicture("QVIS-1")));
    auto kept = std::make_shared<Recorder>();
    {
        auto delegate = std::make_shared<Recorder>();
        auto reader = screenReader(delegate);
        reader->readImageFile(dir.file("uid.png"));
        delegate.reset();  // the screen went away
        auto other = screenReader(kept);
        other->readImageFile(dir.file("uid.png"));
        other->cancel();
        other.reset();  // the reader went away with its answers under way
    }
    RunLoop::main().runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(kept->calls(), 0);
}

// Texts from other sources than a camera scan can be long: the forms are
// found without recursing per character (a recursive matcher overflowed the
// stack near 27,000 characters). Run in a child, where such a crash fails
// this test only.
TEST(QRCodeText, LongTextsAreClassifiedWithoutACrash) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            const std::string body(1 << 20, 'a');
            const bool ok = QRCodeText::classify("http:" + body).kind == QRCodeText::Kind::Url &&
                            QRCodeText::classify("http:" + body + " ").kind == QRCodeText::Kind::Uid &&
                            QRCodeText::classify("htt" + std::string(1 << 20, 'p') + ":").kind ==
                                QRCodeText::Kind::Url &&
                            QRCodeText::classify("ssid:" + body + ";pw:x").password == "x" &&
                            QRCodeText::classify(body).kind == QRCodeText::Kind::Uid;
            _exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
