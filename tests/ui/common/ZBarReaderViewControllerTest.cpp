#include "ui/common/ZBarReaderViewController.h"

#include <gtest/gtest.h>
#include <qrencode.h>

#include <string>
#include <vector>

#include "platform/graphics/PNGWriter.h"
#include "support/TempDir.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

RGBAImage qrPicture(const std::string& text) {
    RGBAImage img;
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) return img;
    const int scale = 4, quiet = 4, side = (code->width + 2 * quiet) * scale;
    img.width = img.height = side;
    img.pixels.assign(img.rowBytes() * side, 255);
    for (int y = 0; y < code->width * scale; ++y)
        for (int x = 0; x < code->width * scale; ++x)
            if (code->data[(y / scale) * code->width + x / scale] & 1) {
                uint8_t* p = img.pixels.data() + (y + quiet * scale) * img.rowBytes() + (x + quiet * scale) * 4;
                p[0] = p[1] = p[2] = 0;
            }
    QRcode_free(code);
    return img;
}

// The device-adding screens' side of the reader.
class Adder : public ZBarReaderDelegate {
public:
    void imagePickerController(ZBarReader&, const ZBarReaderInfo& info) override {
        auto it = info.find(ZBarReaderControllerResults);
        if (it != info.end() && !it->second.empty()) read.push_back(it->second.front().data);
    }
    void imagePickerControllerDidCancel(ZBarReader&) override { ++cancelled; }
    void readerControllerDidFailToRead(ZBarReader&, bool) override { ++failed; }
    std::vector<std::string> read;
    int cancelled = 0;
    int failed = 0;
};

}  // namespace

TEST(ZBarReaderViewController, ReadsANamedPictureAndReportsTheCancelButton) {
    KitTestDriver driver;
    auto root = std::make_shared<UIViewController>();
    driver.setRoot(root);
    auto adder = std::make_shared<Adder>();
    auto reader = std::make_shared<ZBarReaderViewController>();
    reader->setReaderDelegate(adder);
    reader->setSupportedOrientationsMask(30);
    EXPECT_TRUE(reader->scanner().setSymbology(25, 0, 0));
    EXPECT_TRUE(reader->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeLeft));
    EXPECT_TRUE(reader->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::PortraitUpsideDown));
    reader->setSupportedOrientationsMask(1 << 1);
    EXPECT_FALSE(reader->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeLeft));
    reader->setSupportedOrientationsMask(30);
    root->presentViewController(reader, true);
    driver.advance(0.5);
    ASSERT_EQ(root->presentedViewController(), reader.get());

    test::TempDir dir;
    ASSERT_TRUE(PNGWriter::write(dir.file("code.png"), qrPicture("ssid:Home;password:s3cret")));
    reader->readImageFile(dir.file("code.png"));
    ASSERT_TRUE(driver.waitUntil([&] { return !adder->read.empty(); }));
    EXPECT_EQ(adder->read, (std::vector<std::string>{"ssid:Home;password:s3cret"}));

    ASSERT_TRUE(driver.tap("cancelButton"));
    ASSERT_TRUE(driver.waitUntil([&] { return adder->cancelled == 1; }));
    EXPECT_EQ(adder->failed, 0);
    root->dismissViewControllerAnimated(false);
    driver.settle();
}

TEST(ZBarReaderViewController, TheUserNamesAPictureFileAndTapsRead) {
    KitTestDriver driver;
    auto root = std::make_shared<UIViewController>();
    driver.setRoot(root);
    auto adder = std::make_shared<Adder>();
    auto reader = std::make_shared<ZBarReaderViewController>();
    reader->setReaderDelegate(adder);
    reader->scanner().setSymbology(25, 0, 0);
    root->presentViewController(reader, true);
    driver.advance(0.5);

    // An empty field reads nothing.
    ASSERT_TRUE(driver.tap("readFileButton")) << driver.lastError();
    driver.advance(0.5);
    EXPECT_TRUE(adder->read.empty());
    EXPECT_EQ(adder->failed, 0);

    test::TempDir dir;
    const std::string uid = "LUMO-000123-WXYZA";
    ASSERT_TRUE(PNGWriter::write(dir.file("uid.png"), qrPicture(uid)));
    struct Case {
        std::string typed;
        std::vector<std::string> read;
        int failed;
    };
    const Case cases[] = {
        {dir.file("uid.png"), {uid}, 0},
        {"  " + dir.file("uid.png") + " ", {uid, uid}, 0},   // blanks around the path
        {dir.file("missing.png"), {uid, uid}, 1},            // no such file: a failure to read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ASSERT_TRUE(driver.tap("imageFileField")) << driver.lastError();
        auto* field = driver.find<UITextField>("imageFileField");
        ASSERT_TRUE(field);
        field->setText("");
        ASSERT_TRUE(driver.typeText(c.typed));
        ASSERT_TRUE(driver.tap("readFileButton")) << driver.lastError();
        ASSERT_TRUE(driver.waitUntil([&] { return adder->read.size() == c.read.size() && adder->failed == c.failed; }));
        EXPECT_EQ(adder->read, c.read);
        EXPECT_FALSE(field->isEditing());
    }

    // The return key reads as well.
    ASSERT_TRUE(driver.tap("imageFileField"));
    driver.find<UITextField>("imageFileField")->setText("");
    ASSERT_TRUE(driver.typeText(dir.file("uid.png")));
    ASSERT_TRUE(driver.pressReturn());
    ASSERT_TRUE(driver.waitUntil([&] { return adder->read.size() == 3; }));
    EXPECT_EQ(adder->cancelled, 0);
    root->dismissViewControllerAnimated(false);
    driver.settle();
}
