#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <fstream>

#include "ui/common/DeviceScreensFixture.h"
#include "ui/common/PrintedQRCode.h"
#include "ui/common/ZBarReaderViewController.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UITextField.h"

using namespace lumora;
using namespace lumora::test;

namespace {

class UIDeviceAddViewControllerTest : public DeviceScreensFixture {
protected:
    // Renders the text as a QR picture file, opens the chooser, picks the QR
    // scan and lets the reader read the file.
    void scan(const std::string& text) {
        const std::string path = dir.path() + "/code.png";
        ASSERT_TRUE(writePrintedQRCode(path, text));
        openOpener();
        opener->openChooser();
        driver.settle();
        ASSERT_TRUE(driver.tapSheetButton(L("TWOD_ADD"))) << driver.lastError();
        driver.advance(0.5);
        ASSERT_TRUE(opener->called("reader"));
        // The picture the user names is read by the reader screen.
        ASSERT_NE(opener->chooser->reader(), nullptr);
        opener->chooser->reader()->readImageFile(path);
        ASSERT_TRUE(driver.waitUntil([&] { return opener->chooser->viewIfLoaded()->superview() == nullptr; }));
        driver.advance(0.5);
    }
    // The warning a text of no known form gets: it shows the text, and
    // "add anyway" hands it on.
    void addAnyway(const std::string& text) {
        ASSERT_NE(alert(), nullptr);
        EXPECT_EQ(alert()->tag(), UIDeviceAddViewController::kUnknownTextAlertTag);
        EXPECT_EQ(alert()->message(), text);
        ASSERT_TRUE(driver.tapAlertButton(L("QR_USE_TEXT"))) << driver.lastError();
        driver.advance(0.5);
    }
};

TEST_F(UIDeviceAddViewControllerTest, TheSheetOffersThreeWaysAndCancel) {
    openOpener();
    opener->openChooser();
    driver.settle();
    UIActionSheet* sheet = UIActionSheet::topmost(driver.window());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->numberOfButtons(), 4);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), L("TWOD_ADD"));
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), L("MANNUAL_ADD"));
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), L("LocalSearch_ADD"));
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    shot("device_add_sheet.png");
    ASSERT_TRUE(driver.tapSheetButton(3));
    driver.advance(0.5);
    EXPECT_EQ(opener->chooser->viewIfLoaded()->superview(), nullptr);
    EXPECT_TRUE(opener->calls.empty());
}

TEST_F(UIDeviceAddViewControllerTest, TypingOpensTheEmptyEditorAndAnUnhandledChoiceLeavesTheChooser) {
    openOpener();
    opener->handlesTyping = false;
    opener->openChooser();
    driver.settle();
    ASSERT_TRUE(driver.tapSheetButton(1));
    driver.advance(0.5);
    EXPECT_NE(opener->chooser->viewIfLoaded()->superview(), nullptr) << "the view stays";
    opener->handlesTyping = true;
    opener->chooser->addDeviceManually();
    driver.advance(0.5);
    EXPECT_EQ(opener->chooser->viewIfLoaded()->superview(), nullptr);
    ASSERT_NE(opener->editor, nullptr);
    EXPECT_EQ(opener->editor->deviceAttributes().at("UDID:"), "");
}

TEST_F(UIDeviceAddViewControllerTest, AScannedUidOpensTheEditorWithIt) {
    scan("LUMORA-QR-000123");
    ASSERT_EQ(opener->calls, (std::vector<std::string>{"reader", "uid LUMORA-QR-000123 name ''"}));
    ASSERT_NE(opener->editor, nullptr);
    EXPECT_EQ(opener->editor->deviceAttributes().at("UDID:"), "LUMORA-QR-000123");
    auto* field = driver.find<UITextField>("UDID:");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), "LUMORA-QR-000123");
    EXPECT_EQ(opener->presentedViewController(), opener->editor->navigationController());
    // The scanner was told to leave Interleaved 2 of 5 alone.
    shot("device_add_qr_editor.png");
}

TEST_F(UIDeviceAddViewControllerTest, AWebAddressIsNotTakenForADevice) {
    scan("http://www.lumora.invalid/app");
    EXPECT_EQ(opener->calls, std::vector<std::string>{"reader"});
    EXPECT_EQ(opener->editor, nullptr);
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->tag(), UIDeviceAddViewController::kUrlAlertTag);
    EXPECT_EQ(alert()->message(), "It will use the browser to this URL\u3002");
    EXPECT_EQ(alert()->buttonTitleAtIndex(0), "Close");
    EXPECT_EQ(alert()->buttonTitleAtIndex(1), "Ok");
    shot("device_add_qr_url.png");
    ASSERT_TRUE(driver.tapAlertButton("Ok"));
    driver.advance(0.5);
    EXPECT_TRUE(opener->called("rotate yes"));
}

TEST_F(UIDeviceAddViewControllerTest, AWiFiLoginIsNotTakenForADeviceAndItsPasswordIsCopied) {
    driver.setPasteboardText("");
    scan("ssid:HomeNet:x;pwd:s3cret:more;third");
    EXPECT_EQ(opener->calls, std::vector<std::string>{"reader"}) << "the password never reaches the UID field";
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->tag(), UIDeviceAddViewController::kWiFiAlertTag);
    EXPECT_EQ(alert()->title(), "ssid: HomeNet \n password:s3cret");
    EXPECT_EQ(driver.pasteboardText(), "s3cret");
    ASSERT_TRUE(driver.tapAlertButton("Close"));
    driver.advance(0.5);
    EXPECT_TRUE(opener->called("rotate yes"));
}

TEST_F(UIDeviceAddViewControllerTest, AMalformedWiFiTextIsAnOrdinaryUid) {
    // No ";": there is no password part to read, so the text is neither form.
    driver.setPasteboardText("before");
    scan("ssid:HomeNet");
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader"})) << "warned first";
    addAnyway("ssid:HomeNet");
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader", "rotate yes", "uid ssid:HomeNet name ''"}));
    EXPECT_EQ(driver.pasteboardText(), "before");
}

TEST_F(UIDeviceAddViewControllerTest, AWiFiTextWhosePasswordPartLacksAColonIsAnOrdinaryUid) {
    driver.setPasteboardText("before");
    scan("ssid:HomeNet;secret");
    addAnyway("ssid:HomeNet;secret");
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader", "rotate yes", "uid ssid:HomeNet;secret name ''"}));
    EXPECT_EQ(alert(), nullptr);
    EXPECT_EQ(driver.pasteboardText(), "before");
}

TEST_F(UIDeviceAddViewControllerTest, TheSecureWebSchemeIsAnOrdinaryUid) {
    scan("https://x.invalid/");
    addAnyway("https://x.invalid/");
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader", "rotate yes", "uid https://x.invalid/ name ''"}));
}

// Texts of no known form are shown in a warning before any editor opens
// with them; Cancel drops them. Identifiers go straight through.
TEST_F(UIDeviceAddViewControllerTest, ATextOfNoKnownFormIsShownInAWarningFirst) {
    const std::pair<const char*, bool> cases[] = {
        {"ABCD-1234_ef", true}, {"Hello world", false}, {"\u00e9t\u00e9-uid", false},
        {"A234567890123456789012345678901X", true}, {"A2345678901234567890123456789012X", false}};
    for (const auto& [text, plain] : cases)
        EXPECT_EQ(UIDeviceAddViewController::looksLikeDeviceId(text), plain) << text;
    scan("Hello world");
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader"}));
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->tag(), UIDeviceAddViewController::kUnknownTextAlertTag);
    EXPECT_EQ(alert()->title(), L("QR_UNKNOWN_TEXT"));
    EXPECT_EQ(alert()->message(), "Hello world");
    shot("device_add_qr_unknown.png");
    ASSERT_TRUE(driver.tapAlertButton(L("CANCEL_BUTTON"))) << driver.lastError();
    driver.advance(0.5);
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader", "rotate yes"}));
    EXPECT_EQ(opener->editor, nullptr);
}

// The picture path: a file that is no picture, or a picture without a
// code, is said on the reader screen, which stays up for another name.
TEST_F(UIDeviceAddViewControllerTest, TheReaderSaysWhenAFileIsNoPictureOrHoldsNoCode) {
    const std::string notPicture = dir.path() + "/notes.txt";
    { std::ofstream(notPicture) << "not a picture"; }
    const std::string blank = dir.path() + "/blank.png";
    {
        QImage white(120, 120, QImage::Format_RGB32);
        white.fill(Qt::white);
        ASSERT_TRUE(white.save(QString::fromStdString(blank)));
    }
    openOpener();
    opener->openChooser();
    driver.settle();
    ASSERT_TRUE(driver.tapSheetButton(L("TWOD_ADD"))) << driver.lastError();
    driver.advance(0.5);
    auto reader = opener->chooser->reader();
    ASSERT_NE(reader, nullptr);
    const std::pair<std::string, std::string> cases[] = {{notPicture, L("QR_NOT_PICTURE")},
                                                         {dir.path() + "/missing.png", L("QR_NOT_PICTURE")},
                                                         {blank, L("QR_NO_CODE")}};
    for (const auto& [path, said] : cases) {
        auto* field = driver.find<UITextField>("imageFileField");
        ASSERT_NE(field, nullptr);
        ASSERT_TRUE(driver.tapView(field)) << driver.lastError();
        field->lineEdit()->selectAll();
        ASSERT_TRUE(driver.typeText(path));
        ASSERT_TRUE(driver.tap("readFileButton")) << driver.lastError();
        ASSERT_TRUE(driver.waitUntil([&] { return reader->statusText() == said; })) << path;
        driver.settle();
        auto texts = driver.visibleTexts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), said), texts.end()) << path;
        EXPECT_EQ(opener->presentedViewController(), reader.get()) << "the reader stays for another name";
    }
    shot("device_add_qr_no_code.png");
    EXPECT_EQ(opener->calls, (std::vector<std::string>{"reader"}));
}

TEST_F(UIDeviceAddViewControllerTest, CancellingTheReaderClosesEverything) {
    openOpener();
    opener->openChooser();
    driver.settle();
    ASSERT_TRUE(driver.tapSheetButton(0));
    driver.advance(0.5);
    ASSERT_NE(opener->presentedViewController(), nullptr);
    shot("device_add_reader.png");
    ASSERT_TRUE(driver.tap("cancelButton")) << driver.lastError();
    ASSERT_TRUE(driver.waitUntil([&] { return opener->chooser->viewIfLoaded()->superview() == nullptr; }));
    driver.advance(0.5);
    EXPECT_EQ(opener->presentedViewController(), nullptr);
    EXPECT_EQ(opener->editor, nullptr);
}

}  // namespace
