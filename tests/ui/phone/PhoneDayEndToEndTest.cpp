// A user's day on the phone, through the real screens against device
// emulators on loopback: a camera added by typing, watched in four panes,
// recorded and snapped, the media browsed and played, the camera's own
// recordings searched and played, the settings changed, and the camera
// deleted. A screenshot of every step goes to the test artifacts.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/utilities/MPMoviePlayerController.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "ui/common/DeviceSearchingViewController.h"
#include "ui/common/ZButton.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIWindow.h"
#include "ui/phone/ChannelRecordPane.h"
#include "ui/phone/ConfigViewController.h"
#include "ui/phone/DeviceDetailViewController.h"
#include "ui/phone/DeviceMgmtController.h"
#include "ui/phone/FileMgmtController.h"
#include "ui/phone/MediaPlayController.h"
#include "ui/phone/PhoneAppFixture.h"
#include "ui/common/DayWalk.h"
#include "ui/phone/PhotoBrowseController.h"
#include "ui/phone/PlayRemoteRecordController.h"
#include "ui/phone/QueryRemoteRecordSetting.h"
#include "ui/phone/RemoteRecodeFileList.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPorchAddress = "127.0.0.5";

class PhoneDayEndToEndTest : public test::DayWalk<test::PhoneAppFixture> {
protected:
    PhoneDayEndToEndTest() : DayWalk("phone") {}

    // "Porch": the camera the user adds today, reached by address, with
    // three recordings of today on channels 1, 2 and 4.
    void startPorch() {
        const std::time_t now = std::time(nullptr);
        std::tm today{};
        localtime_r(&now, &today);
        const int y = today.tm_year + 1900, m = today.tm_mon + 1, d = today.tm_mday;
        devemu::EmulatorOptions o;
        o.tcpHost = kPorchAddress;
        o.channels = 4;
        o.recordings = {
            {"porch-0100.h264", 0, 0, {y, m, d, 1, 0, 0}},
            {"porch-0200.h264", 1, 0, {y, m, d, 2, 0, 0}},
            {"porch-0300.h264", 3, 0, {y, m, d, 3, 0, 0}},
        };
        DayWalk::startPorch(o);
    }

    void openMore() {
        if (!screen->isMoreViewOpen()) {
            ASSERT_TRUE(tap("moreButon")) << driver->lastError();
        }
    }
    // The screen on top of what the live screen presented (through
    // navigation controllers and presentations on presentations).
    UIViewController* top() {
        UIViewController* c = screen->presentedViewController();
        while (c) {
            if (UIViewController* p = c->presentedViewController()) {
                c = p;
            } else if (auto* nav = dynamic_cast<UINavigationController*>(c)) {
                return nav->topViewController();
            } else {
                return c;
            }
        }
        return nullptr;
    }
    template <class T>
    T* topAs() {
        return dynamic_cast<T*>(top());
    }
    void type(const std::string& field, const std::string& text) { typeInto(field, text); }
    // A row's detail button in a device list (rows of 50 under the bar).
    void tapDeviceRowDetail(int row) {
        driver->tapAt(CGPoint{295, 44.0 + 50 * row + 25});
        step();
    }
    // Of the photo or recording folders the browser shows, Porch's row.
    static int porchRow(const std::vector<std::string>& folders) {
        auto it = std::find(folders.begin(), folders.end(), "Porch");
        return it == folders.end() ? -1 : static_cast<int>(it - folders.begin());
    }
    std::set<std::string> barColoursAcross(CGRect r) { return test::barColoursAcross(*driver, r); }
    static std::vector<std::string> filesIn(const fs::path& folder, const std::string& ext) {
        return test::filesIn(folder, ext);
    }
    static CGRect windowRect(UIView* v) { return test::windowRect(v); }
};

TEST_F(PhoneDayEndToEndTest, AddWatchRecordBrowseSearchSetUpAndDeleteACamera) {
    startPorch();
    launch();  // Gate and Yard are stored already
    ASSERT_EQ(screen->deviceButtons().size(), 2u);
    ASSERT_EQ(screen->cmcController()->channelViewNumber(), 4u);

    // ---- 1. The device list, its add button, typing, Save: Porch comes online.
    openMore();
    ASSERT_TRUE(tap("addButon")) << driver->lastError();
    step();
    auto* list = topAs<DeviceMgmtController>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->devicesTable()->numberOfRowsInSection(0), 2);
    shot("1a-device-list.png");
    ASSERT_TRUE(tap("navRight")) << driver->lastError();
    ASSERT_NE(screen->davc(), nullptr);
    ASSERT_TRUE(driver->tapSheetButton(L("MANNUAL_ADD"))) << driver->lastError();
    step();
    auto* editor = topAs<DeviceDetailViewController>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->operation(), DeviceDetailViewController::kAdd);
    ASSERT_TRUE(driver->pickSegment("seg", 1)) << driver->lastError();
    type("Name:", "Porch");
    type("Address:", kPorchAddress);
    type("Port:", std::to_string(porch->tcpPort()));
    type("User:", "admin");
    type("Password:", "admin");
    shot("1b-editor.png");
    ASSERT_TRUE(tap("navRight")) << driver->lastError();  // Save
    step();
    EXPECT_EQ(UIAlertView::topmost(driver->window()), nullptr);
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    auto device = porchDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->address.value(), kPorchAddress);
    EXPECT_EQ(device->mediaPort.load(), porch->tcpPort());
    EXPECT_EQ(device->channelNum.load(), 4);
    ASSERT_EQ(screen->deviceButtons().size(), 3u);
    EXPECT_EQ(screen->deviceButtons()[2]->titleForState(UIControlStateNormal), "Porch");
    // Online: the probe reaches the emulator and the strip, rebuilt by the
    // state poll, shows the online picture.
    ASSERT_TRUE(driver->waitUntil([&] { return device->isOnLine.load(); }, 20));
    const auto online = UIImage::imageNamed("deviceonline.png");
    ASSERT_NE(online, nullptr);
    ASSERT_TRUE(driver->waitUntil(
        [&] {
            driver->advance(1);
            ZButton* b = screen->deviceButtons().size() == 3 ? screen->deviceButtons()[2].data() : nullptr;
            return b && !b->isBlinking() && b->backgroundImageForState(UIControlStateNormal) == online;
        },
        30));
    shot("1c-porch-online.png");

    // ---- 2. Its four channels in the four panes, each showing the camera's picture.
    play(3, {1, 2, 3, 4});
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(waitPicture(pane(i))) << "pane " << i;
    driver->settle();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(title(i), "Porch ch0" + std::to_string(i + 1));
        std::string seen;
        EXPECT_TRUE(showsColourBars(pane(i), seen, {60, 100, 215, 232})) << "pane " << i << seen;
    }
    EXPECT_GE(porch->stats().sessions, 4);
    shot("2-four-panes.png");

    // ---- 3. A snapshot and a few seconds of recording of the second pane.
    driver->tapAt(CGPoint{53, 302});
    driver->settle();
    ASSERT_EQ(screen->cmcController()->selectedChannelViewController(), pane(1));
    ASSERT_TRUE(tap("snapshotButton")) << driver->lastError();
    driver->advance(0.6);
    const fs::path photos = porchPhotos();
    const fs::path records = porchRecords();
    std::vector<std::string> png, mp4;
    ASSERT_TRUE(driver->waitUntil([&] { return !(png = filesIn(photos, ".png")).empty(); }, 10));
    ASSERT_TRUE(tap("recordButton")) << driver->lastError();
    EXPECT_EQ(pane(1)->state(), 2);
    EXPECT_FALSE(pane(1)->recLabel()->isHidden());
    const uint64_t base = pane(1)->glView()->presentedCount();
    ASSERT_TRUE(driver->waitUntil([&] { return pane(1)->glView()->presentedCount() > base + 75; }, 20));
    shot("3-recording.png");
    ASSERT_TRUE(tap("recordButton")) << driver->lastError();
    EXPECT_EQ(pane(1)->state(), 1);
    ASSERT_TRUE(driver->waitUntil([&] { return !(mp4 = filesIn(records, ".mp4")).empty(); }, 10));
    // One of each, in the channel's folder; nothing left among the temporary recordings.
    ASSERT_EQ(png.size(), 1u);
    ASSERT_EQ(mp4.size(), 1u);
    EXPECT_EQ(fs::path(png[0]).parent_path(), photos / "2") << png[0];
    EXPECT_EQ(fs::path(mp4[0]).parent_path(), records / "2") << mp4[0];
    EXPECT_EQ(filesUnder(".mp4").size(), 1u);
    EXPECT_EQ(filesUnder(".png").size(), 1u);
    ASSERT_NO_FATAL_FAILURE(expectRecording(mp4[0]));

    // ---- 4. The local media: the snapshot in the photo browser, the recording in the player.
    openMore();
    ASSERT_TRUE(tap("fileButton")) << driver->lastError();
    step();
    auto* media = topAs<FileMgmtController>();
    ASSERT_NE(media, nullptr);
    EXPECT_TRUE(pane(0)->stopRenderingFrame());
    EXPECT_EQ(media->currentFileType(), FileMgmtController::PhotoFolders);
    const int photoFolder = porchRow(media->photoDeviceArr());
    ASSERT_GE(photoFolder, 0);
    ASSERT_TRUE(driver->pickRow("filesTable", 0, photoFolder)) << driver->lastError();
    EXPECT_EQ(media->currentFileType(), FileMgmtController::PhotoFiles);
    ASSERT_EQ(media->filesTable()->numberOfRowsInSection(0), 1);
    ASSERT_TRUE(driver->pickRow("filesTable", 0, 0)) << driver->lastError();
    step();
    auto* photo = topAs<PhotoBrowseController>();
    ASSERT_NE(photo, nullptr);
    ASSERT_EQ(photo->photos().size(), 1u);
    ASSERT_FALSE(photo->photoViews()[0].isNull());
    const auto photoColours = barColoursAcross(windowRect(photo->photoViews()[0].data()));
    EXPECT_GE(photoColours.size(), 5u) << "the snapshot shows the clip's bars";
    shot("4a-photo.png");
    ASSERT_TRUE(tap("navBack")) << driver->lastError();
    step();
    media->closeButtonTapped();  // back to the folders
    ASSERT_TRUE(driver->pickSegment("fileTypeSegment", 1)) << driver->lastError();
    EXPECT_EQ(media->currentFileType(), FileMgmtController::RecordFolders);
    const int recordFolder = porchRow(media->recordDeviceArr());
    ASSERT_GE(recordFolder, 0);
    ASSERT_TRUE(driver->pickRow("filesTable", 0, recordFolder)) << driver->lastError();
    ASSERT_EQ(media->filesTable()->numberOfRowsInSection(0), 1);
    ASSERT_TRUE(driver->pickRow("filesTable", 0, 0)) << driver->lastError();
    step();
    auto* player = media->mediaPlayController().get();
    ASSERT_EQ(top(), player);
    ALMoviePlayerController* movie = player->moviePlayer();
    ASSERT_NE(movie, nullptr);
    ASSERT_NO_FATAL_FAILURE(expectPlayerShowsRecording(movie, mp4[0]));
    shot("4b-local-player.png");
    ASSERT_TRUE(tap("navBack")) << driver->lastError();
    step();
    media->closeButtonTapped();  // back to the folders, where the left button closes
    ASSERT_TRUE(tap("navLeft")) << driver->lastError();
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_FALSE(pane(0)->stopRenderingFrame());

    // ---- 5. Porch's own recordings: the list, the search form, the result, one played.
    openMore();
    ASSERT_TRUE(tap("remoteButton")) << driver->lastError();
    step();
    auto* recordingsList = topAs<DeviceMgmtController>();
    ASSERT_NE(recordingsList, nullptr);
    EXPECT_EQ(recordingsList->mgmtType(), 1);
    ASSERT_EQ(recordingsList->devicesTable()->numberOfRowsInSection(0), 3);
    tapDeviceRowDetail(2);
    auto* form = topAs<QueryRemoteRecordSetting>();
    ASSERT_NE(form, nullptr) << "the detail button opens the search form";
    EXPECT_EQ(form->m_nChannels, 15u);
    shot("5a-search-form.png");
    ASSERT_TRUE(tap("navRight")) << driver->lastError();  // Search
    step();
    auto found = form->lastList.lock();
    ASSERT_TRUE(found);
    ASSERT_TRUE(driver->waitUntil([&] { return found->files().size() == 3 && found->sessionStopped(); }, 30));
    EXPECT_EQ(found->files(), (std::vector<std::string>{"porch-0100.h264", "porch-0200.h264", "porch-0300.h264"}));
    driver->settle();
    EXPECT_EQ(driver->find<UITableView>("fileTable")->numberOfRowsInSection(0), 3);
    shot("5b-search-result.png");
    ASSERT_TRUE(driver->pickRow("fileTable", 0, 1)) << driver->lastError();
    step();
    auto* remote = topAs<PlayRemoteRecordController>();
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(remote->pane());
    ASSERT_TRUE(driver->waitUntil([&] { return remote->pane()->picturesShown() >= 5; }, 30));
    EXPECT_EQ(porch->countEvents("play porch-0200.h264"), 1u);
    driver->settle();
    auto* recordPane = dynamic_cast<ChannelRecordPane*>(remote->pane());
    ASSERT_NE(recordPane, nullptr);
    {
        std::string seen;
        EXPECT_TRUE(showsColourBars(recordPane->channelViewController(), seen, {60, 100, 215, 232})) << seen;
    }
    shot("5c-remote-playback.png");
    ASSERT_TRUE(tap("navBack")) << driver->lastError();  // to the result
    step();
    ASSERT_TRUE(tap("navBack")) << driver->lastError();  // to the form
    step();
    ASSERT_TRUE(tap("navLeft")) << driver->lastError();  // the form's Cancel
    step();
    EXPECT_EQ(top(), recordingsList);
    ASSERT_TRUE(tap("navLeft")) << driver->lastError();  // the list's Close
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pane(i)->state(), 1) << "pane " << i;

    // ---- 6. Settings: one pane and the other live preference, stored; shown again on reopening.
    auto& prefs = QvApplicationPreference::sharedInstance();
    const int livePreference = prefs.livePreference();
    openMore();
    ASSERT_TRUE(tap("settingButton")) << driver->lastError();
    step();
    auto* config = topAs<ConfigViewController>();
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->layoutSegment()->selectedSegmentIndex(), 1);
    ASSERT_TRUE(driver->pickSegment("layoutSegment", 0)) << driver->lastError();
    ASSERT_TRUE(driver->pickSegment("preferenceSegment", 1 - livePreference)) << driver->lastError();
    shot("6a-settings.png");
    ASSERT_TRUE(tap("navRight")) << driver->lastError();  // Done
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_EQ(screen->cmcController()->channelViewNumber(), 1u);
    EXPECT_EQ(pane(0)->state(), 1);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(pane(i)->state(), 0) << "pane " << i;
    {
        QvApplicationPreference stored;
        ASSERT_TRUE(stored.loadApplicationPreference());
        EXPECT_EQ(stored.layoutStyle(), 0);
        EXPECT_EQ(stored.livePreference(), 1 - livePreference);
    }
    const int playing = pane(0)->channel();
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(button("channelButton" + std::to_string(c + 1))->isSelected(), c == playing) << "channel " << c;
    ASSERT_TRUE(waitPicture(pane(0)));
    shot("6b-one-pane.png");
    openMore();
    ASSERT_TRUE(tap("settingButton")) << driver->lastError();
    step();
    config = topAs<ConfigViewController>();
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->layoutSegment()->selectedSegmentIndex(), 0);
    EXPECT_EQ(config->preferenceSegment()->selectedSegmentIndex(), 1 - livePreference);
    ASSERT_TRUE(tap("navLeft")) << driver->lastError();  // Cancel
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);

    // ---- 6c. Porch goes away for half a minute while the pane plays (a
    // reboot) and comes back on its address: the pane says it reconnects and
    // shows the pictures again by itself. Then the settings opened and
    // closed, and the application sent to the background and back with auto
    // play on: the pane plays again each time without a tap.
    porchAwayForHalfAMinute();
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->isReconnecting(); }, 60));
    driver->settle();
    EXPECT_EQ(title(0), L("MSG_RECONNECTING"));
    EXPECT_EQ(pane(0)->state(), 1);
    shot("6c-reconnecting.png");
    ASSERT_TRUE(porch->waitUntilBack(std::chrono::seconds(120)));
    const std::string caption = "Porch ch0" + std::to_string(playing + 1);
    auto playsAgain = [&](const char* after) {
        ASSERT_TRUE(waitPicture(pane(0))) << after << ": " << title(0);
        driver->settle();
        EXPECT_EQ(title(0), caption) << after;
        std::string seen;
        EXPECT_TRUE(showsColourBars(pane(0), seen, {60, 100, 215, 232})) << after << seen;
    };
    playsAgain("the device's return");
    shot("6d-back.png");
    openMore();
    ASSERT_TRUE(tap("settingButton")) << driver->lastError();
    step();
    ASSERT_NE(topAs<ConfigViewController>(), nullptr);
    ASSERT_TRUE(tap("navLeft")) << driver->lastError();  // Cancel
    step();
    playsAgain("the settings");
    prefs.setAutoPlay(true);
    driver->resignActive();
    driver->settle();
    EXPECT_EQ(pane(0)->state(), 0);
    driver->becomeActive();
    driver->settle();
    driver->advance(0.15);
    playsAgain("becoming active");
    EXPECT_TRUE(button("channelButton" + std::to_string(playing + 1))->isSelected());
    prefs.setAutoPlay(false);

    // ---- 7. Porch deleted: its live view stopped first, then the list's editor.
    if (screen->isMoreViewOpen()) {
        ASSERT_TRUE(tap("moreButon")) << driver->lastError();  // the panel slides off the channel strip
    }
    ASSERT_TRUE(tap("channelButton" + std::to_string(playing + 1))) << driver->lastError();
    EXPECT_EQ(pane(0)->state(), 0);
    ASSERT_TRUE(driver->waitUntil([&] { return device->connectNum.load() == 0; }, 20));
    openMore();
    ASSERT_TRUE(tap("addButon")) << driver->lastError();
    step();
    list = topAs<DeviceMgmtController>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->devicesTable()->numberOfRowsInSection(0), 3);
    tapDeviceRowDetail(2);
    editor = topAs<DeviceDetailViewController>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->operation(), DeviceDetailViewController::kView);
    ASSERT_TRUE(tap("navRight")) << driver->lastError();  // Edit
    EXPECT_EQ(editor->operation(), DeviceDetailViewController::kEdit);
    ASSERT_TRUE(tap("deleteButton")) << driver->lastError();
    ASSERT_NE(UIAlertView::topmost(driver->window()), nullptr);
    EXPECT_EQ(UIAlertView::topmost(driver->window())->message(), L("MKSU_Delete"));
    shot("7a-delete-confirmation.png");
    ASSERT_TRUE(driver->tapAlertButton(0)) << driver->lastError();
    step();
    EXPECT_EQ(porchDevice(), nullptr);
    EXPECT_EQ(top(), list);
    EXPECT_EQ(list->devicesTable()->numberOfRowsInSection(0), 2);
    ASSERT_TRUE(tap("navLeft")) << driver->lastError();  // Close
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    ASSERT_EQ(screen->deviceButtons().size(), 2u);
    EXPECT_EQ(screen->deviceButtons()[0]->titleForState(UIControlStateNormal), "Gate");
    EXPECT_EQ(screen->deviceButtons()[1]->titleForState(UIControlStateNormal), "Yard");
    EXPECT_TRUE(screen->channelButtons().empty());
    {
        QvDeviceManager stored(FileManager::sharedInstance());
        stored.readDeviceList();
        EXPECT_EQ(stored.countOfDevices(), 2u);
        EXPECT_EQ(stored.deviceWithName("Porch"), nullptr);
    }
    shot("7b-deleted.png");
}

}  // namespace
