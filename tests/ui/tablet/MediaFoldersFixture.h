#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/core/FileManager.h"
#include "platform/Config.h"
#include "support/TempDir.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

namespace lumora::test {

// Stands for the tablet home screen: a landscape root that presents the
// screens under test.
class LandscapeHome : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }
};

// Media folders under a private data root, made the way the live screens
// store them (device / channel / file), and a tablet window turned to
// landscape with a home screen stand-in as its root.
class MediaFoldersFixture : public ::testing::Test {
protected:
    MediaFoldersFixture() : driver(KitTestDriver::Options{.profile = ScreenProfile::Tablet}) {}

    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
        ASSERT_TRUE(FileManager::sharedInstance().setDefaultPaths());
        home = std::make_shared<LandscapeHome>();
        driver.setRoot(home);
        ASSERT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
        // A tap far from any item first, so that no tap of an earlier test
        // makes the first tap here count as its second.
        driver.tapAt(CGPoint{2, 766});
        driver.advance(1);
    }

    // Snapshots named by their number (PNG pictures of 64x48, a shade each).
    void addPhotos(const std::string& device, int count, uint32_t channel = 1) {
        const std::string folder = FileManager::sharedInstance().getPhotoPath(device, channel, true).value_or("");
        ASSERT_FALSE(folder.empty());
        for (int i = 0; i < count; ++i) {
            QImage picture(64, 48, QImage::Format_RGB32);
            picture.fill(QColor(40 + i * 4 % 200, 90, 160));
            ASSERT_TRUE(picture.save(QString::fromStdString(folder + name(i, ".png"))));
        }
    }
    // Recordings (their bytes do not matter to the media screens).
    void addRecords(const std::string& device, int count, uint32_t channel = 1) {
        const std::string folder = FileManager::sharedInstance().getRecordPath(device, channel, true).value_or("");
        ASSERT_FALSE(folder.empty());
        for (int i = 0; i < count; ++i) std::ofstream(folder + name(i, ".mp4")) << std::string(2048, 'r');
    }
    static std::string name(int i, const char* extension) {
        char stem[64];
        std::snprintf(stem, sizeof stem, "2026_12_10_10_%02d_%02d", i / 60, i % 60);
        return stem + std::string(extension);
    }

    // Screenshots for a look, kept when LUMORA_SCREENSHOT_DIR names a folder.
    void shot(const std::string& name) {
        if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/" + name);
    }

    TempDir dir;
    KitTestDriver driver;
    std::shared_ptr<LandscapeHome> home;
};

}  // namespace lumora::test
