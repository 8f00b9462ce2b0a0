#pragma once

// What the phone's and the tablet's day walks do alike, on top of either
// family's application fixture: "Porch", the camera the user adds that day,
// on its own emulator; the steps' animations on the virtual clock; a
// screenshot and a readability check of every step; typing into fields;
// the folders Porch's snapshots and recordings land in, and the checks of a
// recording in the media player.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/QvDeviceManager.h"
#include "base/utilities/FFmpegMovieEngine.h"
#include "base/utilities/MPMoviePlayerController.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "support/TestArtifacts.h"
#include "tools/device-emulator/DeviceEmulator.h"
#include "ui/common/ALMoviePlayerController.h"
#include "ui/common/ColourBars.h"
#include "ui/common/ReadableTexts.h"
#include "ui/kit/UITextField.h"

namespace lumora::test {

template <class AppFixture>
class DayWalk : public AppFixture {
protected:
    // walk: the screenshots' name prefix ("phone", "tablet").
    explicit DayWalk(std::string walk) : walk_(std::move(walk)) {}

    void TearDown() override {
        AppFixture::TearDown();
        if (porch) porch->stop();
    }

    // Porch on its emulator, by the options the walk chose (address,
    // channels, recordings).
    void startPorch(devemu::EmulatorOptions o) {
        o.deviceName = "Porch";
        o.quiet = true;
        porch = std::make_unique<devemu::DeviceEmulator>(o);
        std::string error;
        ASSERT_TRUE(porch->start(error)) << error;
    }
    std::shared_ptr<Device> porchDevice() { return QvDeviceManager::sharedInstance().deviceWithName("Porch"); }
    // Porch away for half a minute (a reboot), back on the same address.
    void porchAwayForHalfAMinute() {
        porch->goAway(std::chrono::duration_cast<std::chrono::milliseconds>(
            Config::shared().scaled(std::chrono::seconds(30))));
    }
    // Where Porch's snapshots and recordings land.
    std::filesystem::path porchPhotos() const {
        return std::filesystem::path(this->dir.path()) / "Data" / "Photos" / "Porch";
    }
    std::filesystem::path porchRecords() const {
        return std::filesystem::path(this->dir.path()) / "Data" / "Records" / "Porch";
    }

    static std::string L(const std::string& key) { return Localization::string(key); }
    // Presentations, dismissals and layout changes run their animations on the virtual clock.
    void step() {
        this->driver->advance(0.6);
        this->driver->settle();
    }
    // A screenshot of the step, and the step's texts as a user reads them.
    void shot(const std::string& name) {
        EXPECT_TRUE(this->driver->saveScreenshot(testArtifact(walk_ + "-day-" + name)));
        expectTextsReadable(*this->driver, name);
    }
    // A tap into the field and the text typed.
    void typeInto(const std::string& field, const std::string& text) {
        auto* f = this->driver->template find<UITextField>(field);
        ASSERT_NE(f, nullptr) << field;
        ASSERT_TRUE(this->driver->tapView(f)) << field << ": " << this->driver->lastError();
        ASSERT_TRUE(this->driver->typeText(text)) << field;
    }

    // A recording the walk made: 320 by 240, at least two seconds long.
    static void expectRecording(const std::string& mp4) {
        FFmpegMovieEngine engine;
        MovieInfo info;
        std::string error;
        ASSERT_TRUE(engine.open(mp4, info, error)) << error;
        EXPECT_EQ(info.width, 320);
        EXPECT_EQ(info.height, 240);
        EXPECT_GE(info.duration, 2.0);
    }
    // The media player plays that recording and, paused, shows the clip's bars.
    void expectPlayerShowsRecording(ALMoviePlayerController* movie, const std::string& mp4) {
        KitTestDriver& driver = *this->driver;
        ASSERT_TRUE(driver.waitUntil(
            [&] {
                driver.advance(0.1);
                return movie->shownPicture().has_value() && movie->currentPlaybackTime() > 0.5;
            },
            20));
        EXPECT_TRUE(std::filesystem::equivalent(MPMoviePlayerController::filePath(movie->contentURL()), mp4));
        EXPECT_GE(movie->duration(), 2.0);
        movie->pause();
        static_cast<MPMoviePlayerController*>(movie)->view().waitUntilDrawn();
        ASSERT_TRUE(driver.waitUntil([&] { return movie->view()->image() != nullptr; }));
        driver.settle();
        EXPECT_GE(barColoursAcross(driver, windowRect(movie->view())).size(), 5u) << "the recording shows the clip's bars";
    }

    std::unique_ptr<devemu::DeviceEmulator> porch;

private:
    std::string walk_;
};

}  // namespace lumora::test
