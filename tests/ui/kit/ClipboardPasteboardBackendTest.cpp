#include "ui/kit/ClipboardPasteboardBackend.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/text/Pasteboard.h"
#include "ui/kit/UIPasteboard.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

TEST(ClipboardPasteboardBackendTest, ScreensAndEngineShareOneTextInMemoryUnderTest) {
    KitTestDriver driver;
    Pasteboard::generalPasteboard().setString("from the engine");
    EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "from the engine");
    UIPasteboard::generalPasteboard().setString("from a screen");
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "from a screen");
    EXPECT_EQ(driver.pasteboardText(), "from a screen");
    driver.setPasteboardText("typed");
    EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "typed");
}

TEST(ClipboardPasteboardBackendTest, InstalledTheTextGoesThroughTheDesktopClipboard) {
    KitTestDriver driver;
    ClipboardPasteboardBackend::install();
    UIPasteboard::generalPasteboard().setString("pässwörd");
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "pässwörd");

    // Set from a worker: handed to the main queue, read back there.
    std::thread([] { Pasteboard::generalPasteboard().setString("from a worker"); }).join();
    driver.settle();
    EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "from a worker");
    std::string seen;
    std::thread([&] { seen = Pasteboard::generalPasteboard().string(); }).join();
    EXPECT_EQ(seen, "from a worker");

    // Back to memory: the text stays.
    Pasteboard::generalPasteboard().setBackend(nullptr);
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "from a worker");
}
