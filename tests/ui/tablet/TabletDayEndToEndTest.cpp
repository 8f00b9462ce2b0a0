// A user's day on the tablet, in landscape, through the real screens
// against a sixteen-channel device emulator on loopback: the camera added by
// typing in the live screen's panel, its sixteen channels watched through
// every layout, recorded and snapped, the media browsed and played, the
// settings changed, and the camera deleted in the panel. A screenshot of
// every step goes to the test artifacts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/utilities/MPMoviePlayerController.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "ui/common/ColourBars.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/NSIndexPath.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIWindow.h"
#include "ui/tablet/FileMgmtControllerHD.h"
#include "ui/tablet/FileViewMgmtControllerHD.h"
#include "ui/tablet/SectionHeaderViewHD.h"
#include "ui/tablet/SingleImageViewControllerHD.h"
#include "ui/tablet/SingleMediaPlayerControllerHD.h"
#include "ui/tablet/SysConfigurationViewControllerHD.h"
#include "ui/tablet/TabletLiveFixture.h"
#include "ui/common/DayWalk.h"
#include "ui/tablet/ViewControllerHD.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPorchAddress = "127.0.0.6";
constexpr int kPorchChannels = 16;

class TabletDayEndToEndTest : public test::DayWalk<test::TabletLiveFixture> {
protected:
    TabletDayEndToEndTest() : DayWalk("tablet") {}

    // "Porch": the sixteen-channel recorder the user adds today, reached by address.
    void startPorch() {
        devemu::EmulatorOptions o;
        o.tcpHost = kPorchAddress;
        o.channels = kPorchChannels;
        DayWalk::startPorch(o);
    }
    void type(const std::string& field, const std::string& text) {
        ASSERT_NO_FATAL_FAILURE(typeInto(field, text));
        driver->settle();
    }
    int sectionOf(const std::shared_ptr<Device>& d) {
        return static_cast<int>(QvDeviceManager::sharedInstance().indexOfDevice(d));
    }
    SectionHeaderViewHD* header(int section) {
        return driver->find<SectionHeaderViewHD>("sectionHeader" + std::to_string(section));
    }
    // Ticks a channel row of the panel, the list first scrolled to show it
    // (as the fixture shows the control strip's pages).
    void tick(int section, int channel) {
        openSection(section);
        panel().deviceTable()->scrollToRowAtIndexPath(indexPathForRow(channel, section), false,
                                                      UITableViewScrollPosition::Bottom);
        driver->settle();
        toggle(section, channel);
        UIButton* lit = signal(section, channel);
        ASSERT_TRUE(lit && lit->isSelected()) << "the tap on channel " << channel << " counted";
    }
    // Every tile shown by the current layout shows the clip's bars.
    void expectShownTilesShowTheClip(const std::string& layout) {
        const int shown = static_cast<int>(grid().curShowingViewIds().size());
        // Sixteen sessions on a shared machine: the last ones may take a while to connect.
        for (int p = 0; p < shown; ++p) {
            ChannelViewControllerHD* t = grid().tileAtPosition(p);
            const uint64_t base = t->glView()->presentedCount();
            ASSERT_TRUE(driver->waitUntil([&] { return t->glView()->presentedCount() >= base + 3 && t->glView()->hasPicture(); }, 60))
                << layout << " tile " << p << ": " << t->titleLabel()->text();
        }
        driver->settle();
        for (int p = 0; p < shown; ++p) {
            std::string seen;
            EXPECT_TRUE(test::showsColourBars(*driver, grid().tileAtPosition(p)->glView(), seen))
                << layout << " tile " << p << seen;
        }
    }
    // The button of a device folder in the media manager's list.
    UIButton* folderButton(FileMgmtControllerHD& media, const std::string& folder) {
        const auto& dirs = media.allDeviceDirs();
        const auto it = std::find(dirs.begin(), dirs.end(), folder);
        if (it == dirs.end()) return nullptr;
        UITableViewCell* cell =
            media.deviceListTable->cellForRowAtIndexPath(indexPathForRow(static_cast<int>(it - dirs.begin()), 0));
        return cell ? dynamic_cast<UIButton*>(cell->viewWithName("deviceFolderButton")) : nullptr;
    }
    void tapGridItem(FileViewMgmtControllerHD& items, int position) {
        const CGRect f = items.frameForIndex(position, 0);
        driver->tapAt(items.view()->pointInWindow(CGPoint{CGRectGetMidX(f), CGRectGetMidY(f)}));
        step();
    }

    // From the home screen to one of its screens with a tap on its button.
    void fromHome(const std::string& homeButton) {
        ASSERT_EQ(home->presentedViewController(), nullptr) << "at home";
        ASSERT_TRUE(tap(homeButton)) << driver->lastError();
        step();
        ASSERT_NE(home->presentedViewController(), nullptr) << homeButton;
    }
    // Back home from the live screen or the media manager, with their home buttons.
    void backHome() {
        ASSERT_TRUE(tap("homeBtn")) << driver->lastError();
        step();
        ASSERT_EQ(home->presentedViewController(), nullptr);
    }
};

TEST_F(TabletDayEndToEndTest, AddWatchSixteenRecordBrowseSetUpAndDeleteACamera) {
    startPorch();
    launch(nullptr, false);  // Gate and Yard are stored already; the home screen shows
    AlertPresenter::install(std::make_shared<KitAlertPresenter>());
    ASSERT_TRUE(driver->rotate(UIInterfaceOrientation::LandscapeLeft));
    driver->settle();
    ASSERT_EQ(driver->window()->bounds().size.width, 1024) << "landscape";
    shot("0-home.png");
    fromHome("liveViewBtn");
    ASSERT_EQ(home->presentedViewController(), screen.get());
    ASSERT_EQ(panel().sectionCount(), 2);

    // ---- 1. The panel's add button, typing, Done: Porch gets its section and comes online.
    ASSERT_TRUE(tap("addDeviceBtn")) << driver->lastError();
    ASSERT_TRUE(screen->popover()->isPopoverVisible());
    ASSERT_TRUE(driver->pickPickerRow("addModePicker", 0, 1)) << driver->lastError();  // by typing
    UIView* ok = screen->popover()->contentViewController()->view()->viewWithName("toolbarItem2");
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(driver->tapView(ok)) << driver->lastError();
    driver->settle();
    ASSERT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kAdd);
    type("fieldName", "Porch");
    ASSERT_TRUE(driver->pickSegment("segmentedControl", 1)) << driver->lastError();  // by address
    type("fieldAddress", kPorchAddress);
    type("fieldPort", std::to_string(porch->tcpPort()));
    type("fieldUser", "admin");
    type("fieldPassword", "admin");
    ASSERT_TRUE(driver->pickSegment("channelNumSegmentCtrl", 3)) << driver->lastError();  // 16 channels
    shot("1a-add-form.png");
    ASSERT_TRUE(tap("doneDeviceEditBtn")) << driver->lastError();
    ASSERT_EQ(UIAlertView::topmost(driver->window()), nullptr) << UIAlertView::topmost(driver->window())->message();
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
    auto device = porchDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->address.value(), kPorchAddress);
    EXPECT_EQ(device->mediaPort.load(), porch->tcpPort());
    EXPECT_EQ(device->channelNum.load(), kPorchChannels);
    const int section = sectionOf(device);
    ASSERT_EQ(panel().sectionCount(), 3);
    ASSERT_NE(header(section), nullptr);
    EXPECT_EQ(header(section)->titleLabel()->text(), std::string("[Porch] ") + kPorchAddress);
    ASSERT_TRUE(driver->waitUntil([&] { return device->isOnLine.load(); }, 20));
    // The title turns green once the blinking of a fresh list ends.
    ASSERT_TRUE(driver->waitUntil(
        [&] {
            driver->advance(1);
            SectionHeaderViewHD* h = header(section);
            return !panel().isBlinking() && h && h->titleLabel()->textColor() == UIColor::greenColor();
        },
        30));
    shot("1b-porch-online.png");

    // ---- 2. Sixteen channels in sixteen tiles, then every layout.
    secondPage();
    ASSERT_TRUE(tap("sixtnViewModeBtn")) << driver->lastError();
    step();
    ASSERT_EQ(grid().curShowingViewIds().size(), 16u);
    for (int c = 0; c < kPorchChannels; ++c) ASSERT_NO_FATAL_FAILURE(tick(section, c));
    expectShownTilesShowTheClip("16");
    for (int c = 0; c < kPorchChannels; ++c)
        EXPECT_TRUE(screen->queryDeviceChannelBusyStatus(&panel(), device->deviceId, c)) << "channel " << c;
    EXPECT_GE(porch->stats().sessions, kPorchChannels);
    for (int p = 0; p < 16; ++p) {
        char title[32];
        std::snprintf(title, sizeof title, "Porch ch%02d", p + 1);
        EXPECT_EQ(grid().tileAtPosition(p)->titleLabel()->text(), title);
    }
    shot("2-layout-16.png");
    const std::pair<const char*, int> layouts[] = {
        {"oneViewModeBtn", 1}, {"fourViewModeBtn", 4}, {"sixViewModeBtn", 6}, {"nineViewModeBtn", 9}, {"sixtnViewModeBtn", 16}};
    for (const auto& [name, tiles] : layouts) {
        ASSERT_TRUE(tap(name)) << name << " " << driver->lastError();
        step();
        ASSERT_EQ(static_cast<int>(grid().curShowingViewIds().size()), tiles) << name;
        expectShownTilesShowTheClip(name);
        shot("2-layout-" + std::to_string(tiles) + ".png");
    }

    // ---- 3. A snapshot and a few seconds of recording on the sixth tile (channel 6).
    ChannelViewControllerHD* sixth = grid().tileAtPosition(5);
    select(sixth);
    ASSERT_EQ(screen->selectedTile(), sixth);
    secondPage();
    ASSERT_TRUE(tap("snapshotBtn")) << driver->lastError();
    driver->advance(0.6);
    const fs::path photos = porchPhotos();
    const fs::path records = porchRecords();
    std::vector<std::string> png, mp4;
    ASSERT_TRUE(driver->waitUntil([&] { return !(png = test::filesIn(photos, ".png")).empty(); }, 10));
    ASSERT_TRUE(tap("recordBtn")) << driver->lastError();
    EXPECT_EQ(sixth->state(), 2);
    EXPECT_TRUE(button("recordBtn")->isSelected());
    const uint64_t base = sixth->glView()->presentedCount();
    ASSERT_TRUE(driver->waitUntil([&] { return sixth->glView()->presentedCount() > base + 75; }, 30));
    shot("3-recording.png");
    ASSERT_TRUE(tap("recordBtn")) << driver->lastError();
    EXPECT_EQ(sixth->state(), 1);
    EXPECT_FALSE(button("recordBtn")->isSelected());
    ASSERT_TRUE(driver->waitUntil([&] { return !(mp4 = test::filesIn(records, ".mp4")).empty(); }, 10));
    ASSERT_EQ(png.size(), 1u);
    ASSERT_EQ(mp4.size(), 1u);
    EXPECT_EQ(fs::path(png[0]).parent_path(), photos / "6") << png[0];
    EXPECT_EQ(fs::path(mp4[0]).parent_path(), records / "6") << mp4[0];
    ASSERT_NO_FATAL_FAILURE(expectRecording(mp4[0]));

    // ---- 4. Home, which stops the tiles, then the media manager: Porch's
    // folder, the snapshot in the viewer, the recording in the player.
    backHome();
    for (int p = 0; p < 16; ++p) EXPECT_FALSE(grid().tileAtPosition(p)->isBusy()) << p;
    fromHome("fileViewBtn");
    auto* media = dynamic_cast<FileMgmtControllerHD*>(home->presentedViewController());
    ASSERT_NE(media, nullptr);
    UIButton* folder = folderButton(*media, "Porch");
    ASSERT_NE(folder, nullptr) << "the device's folder is listed";
    ASSERT_TRUE(driver->tapView(folder)) << driver->lastError();
    driver->settle();
    auto items = media->fileViewMgmtController();
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->photos()->size(), 1u);
    shot("4a-media.png");
    tapGridItem(*items, 0);
    auto* viewer = dynamic_cast<SingleImageViewControllerHD*>(media->presentedViewController());
    ASSERT_NE(viewer, nullptr);
    ASSERT_FALSE(viewer->imageViews().empty());
    ASSERT_FALSE(viewer->imageViews()[0].isNull());
    EXPECT_GE(test::barColoursAcross(*driver, test::windowRect(viewer->imageViews()[0].data())).size(), 5u)
        << "the snapshot shows the clip's bars";
    shot("4b-photo.png");
    ASSERT_TRUE(tap("backButton")) << driver->lastError();
    step();
    EXPECT_EQ(media->presentedViewController(), nullptr);
    ASSERT_TRUE(driver->pickSegment("segmentedImgVdoControl", 1)) << driver->lastError();
    ASSERT_EQ(items->videos()->size(), 1u);
    tapGridItem(*items, 0);
    auto* player = dynamic_cast<SingleMediaPlayerControllerHD*>(media->presentedViewController());
    ASSERT_NE(player, nullptr);
    ALMoviePlayerController* movie = player->player();
    ASSERT_NE(movie, nullptr);
    ASSERT_NO_FATAL_FAILURE(expectPlayerShowsRecording(movie, mp4[0]));
    shot("4c-player.png");
    ASSERT_TRUE(tap("backButton")) << driver->lastError();
    step();
    EXPECT_EQ(media->presentedViewController(), nullptr);
    backHome();

    // ---- 5. Settings: nine tiles and the other live preference, stored;
    // shown again on reopening; the live screen lays its tiles out by them.
    auto& prefs = QvApplicationPreference::sharedInstance();
    const int livePreference = prefs.livePreference();
    fromHome("recordViewBtn");
    auto* config = dynamic_cast<SysConfigurationViewControllerHD*>(home->presentedViewController());
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->layoutSegment->selectedSegmentIndex(), 4) << "the sixteen tiles the user last chose";
    ASSERT_TRUE(driver->pickSegment("layoutSegment", 3)) << driver->lastError();
    ASSERT_TRUE(driver->pickSegment("preferenceSegment", 1 - livePreference)) << driver->lastError();
    shot("5a-settings.png");
    ASSERT_TRUE(tap("doneButton")) << driver->lastError();
    step();
    EXPECT_EQ(home->presentedViewController(), nullptr);
    {
        QvApplicationPreference stored;
        ASSERT_TRUE(stored.loadApplicationPreference());
        EXPECT_EQ(stored.layoutStyle(), 3);
        EXPECT_EQ(stored.livePreference(), 1 - livePreference);
    }
    fromHome("recordViewBtn");
    config = dynamic_cast<SysConfigurationViewControllerHD*>(home->presentedViewController());
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->layoutSegment->selectedSegmentIndex(), 3);
    EXPECT_EQ(config->preferenceSegment->selectedSegmentIndex(), 1 - livePreference);
    ASSERT_TRUE(tap("cancelButton")) << driver->lastError();
    step();
    fromHome("liveViewBtn");
    ASSERT_EQ(home->presentedViewController(), screen.get());
    EXPECT_EQ(grid().layoutMode(), 3);
    EXPECT_EQ(grid().curShowingViewIds().size(), 9u);
    shot("5b-live-nine.png");

    // ---- 5c. Auto play switched on in the settings. Porch goes away for
    // half a minute while its first channel plays (a reboot) and comes back
    // on its address: the tile says it reconnects and shows the pictures
    // again by itself. Then the home page and the live view again: the tile
    // shown last comes back without a tap.
    backHome();
    fromHome("recordViewBtn");
    ASSERT_NE(dynamic_cast<SysConfigurationViewControllerHD*>(home->presentedViewController()), nullptr);
    ASSERT_FALSE(prefs.autoPlay());
    ASSERT_TRUE(tap("autoPlaySwitch")) << driver->lastError();
    ASSERT_TRUE(tap("doneButton")) << driver->lastError();
    step();
    EXPECT_TRUE(prefs.autoPlay());
    // Back in the live view the tile remembered last plays again (the
    // one-tile layout of step 2 kept channel 1 only in the history).
    fromHome("liveViewBtn");
    driver->advance(0.15);  // the tiles' delayed starts
    ChannelViewControllerHD* first = grid().findWorkingChannelViewControllerHDForDevice(device->deviceId, 0);
    ASSERT_NE(first, nullptr);
    auto playsAgain = [&](const char* after) {
        const uint64_t base = first->glView()->presentedCount();
        ASSERT_TRUE(driver->waitUntil([&] { return first->glView()->presentedCount() >= base + 3 && first->glView()->hasPicture(); }, 60))
            << after << ": " << first->titleLabel()->text();
        driver->settle();
        EXPECT_EQ(first->titleLabel()->text(), "Porch ch01") << after;
        std::string seen;
        EXPECT_TRUE(test::showsColourBars(*driver, first->glView(), seen)) << after << seen;
    };
    playsAgain("the start");
    porchAwayForHalfAMinute();
    ASSERT_TRUE(driver->waitUntil([&] { return first->isReconnecting(); }, 60));
    driver->settle();
    EXPECT_EQ(first->titleLabel()->text(), L("MSG_RECONNECTING"));
    shot("5c-reconnecting.png");
    ASSERT_TRUE(porch->waitUntilBack(std::chrono::seconds(120)));
    playsAgain("the device's return");
    // The device is online again in the panel as soon as its pictures are back.
    EXPECT_TRUE(driver->waitUntil([&] {
        SectionHeaderViewHD* h = header(section);
        return h && h->titleLabel()->textColor() == UIColor::greenColor();
    }, 10)) << "online again";
    shot("5d-back.png");
    backHome();
    EXPECT_FALSE(first->isBusy());
    fromHome("liveViewBtn");
    driver->advance(0.15);  // the tiles' delayed starts
    EXPECT_TRUE(first->isBusy());
    playsAgain("the home page");
    shot("5e-resumed.png");
    // Every tile stopped before the device goes.
    secondPage();
    ASSERT_TRUE(tap("stopAllBtn")) << driver->lastError();
    for (int p = 0; p < 16; ++p) EXPECT_FALSE(grid().tileAtPosition(p)->isBusy()) << p;

    // ---- 6. Porch deleted in the panel (its tiles stopped when the live screen went home).
    ASSERT_TRUE(driver->waitUntil([&] { return device->numberOfConnections() == 0; }, 20));
    ASSERT_TRUE(tap("editListBtn")) << driver->lastError();
    ASSERT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kListEditing);
    UITableViewCell* row = panel().deviceTable()->cellForRowAtIndexPath(indexPathForRow(section, 0));
    ASSERT_NE(row, nullptr);
    ASSERT_NE(row->viewWithName("deleteControl"), nullptr);
    ASSERT_TRUE(driver->tapView(row->viewWithName("deleteControl"))) << driver->lastError();
    driver->settle();
    ASSERT_NE(row->viewWithName("deleteButton"), nullptr);
    ASSERT_TRUE(driver->tapView(row->viewWithName("deleteButton"))) << driver->lastError();
    driver->settle();
    ASSERT_NE(UIAlertView::topmost(driver->window()), nullptr);
    EXPECT_EQ(UIAlertView::topmost(driver->window())->message(), L("MKSU_Delete"));
    shot("6a-delete-confirmation.png");
    ASSERT_TRUE(driver->tapAlertButton(0)) << driver->lastError();
    driver->settle();
    EXPECT_EQ(UIAlertView::topmost(driver->window()), nullptr);
    EXPECT_EQ(porchDevice(), nullptr);
    ASSERT_TRUE(tap("cancelListEditBtn")) << driver->lastError();
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
    EXPECT_EQ(panel().sectionCount(), 2);
    {
        QvDeviceManager stored(FileManager::sharedInstance());
        stored.readDeviceList();
        EXPECT_EQ(stored.countOfDevices(), 2u);
        EXPECT_EQ(stored.deviceWithName("Porch"), nullptr);
    }
    shot("6b-deleted.png");
    backHome();
}

}  // namespace
