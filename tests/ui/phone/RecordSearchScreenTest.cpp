#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/network/NETStatusObj.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "support/TestArtifacts.h"
#include "tools/device-emulator/DeviceEmulator.h"
#include "ui/common/ChannelMask.h"
#include "ui/common/ReadableTexts.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIDatePicker.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/PlayRemoteRecordController.h"
#include "ui/phone/QueryRemoteRecordSetting.h"
#include "ui/phone/RemoteRecodeFileList.h"
#include "ui/phone/UIChannelSelection.h"

using namespace lumora;

namespace {

constexpr const char* kDeviceAddr = "127.0.0.23";


struct MaskReport : UIChannelSelectionDelegate {
    std::vector<uint32_t> masks;
    void onChannelSelect(uint32_t mask) override { masks.push_back(mask); }
};

// A phone window with the strings table, a data folder, the shown alerts,
// and one stored device with `channels` channels.
class RecordSearchScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config& cfg = Config::shared();
        cfg.timeScale = 0.05;
        cfg.dataRoot = dir.path();
        cfg.resourceDir = LUMORA_RESOURCE_DIR;
        cfg.audioBackend = "null";
        Localization::reload();
        NETStatusObj::sharedInstance().setIsHaveNet(true);
        AlertPresenter::install(std::make_shared<KitAlertPresenter>());
    }
    void TearDown() override {
        AlertPresenter::install(nullptr);
        for (auto& d : added) QvDeviceManager::sharedInstance().removeDevice(d);
        if (emulator) emulator->stop();
        Config::shared().dataRoot.clear();
    }

    std::shared_ptr<Device> addDevice(int channels, uint16_t port = 1) {
        auto d = std::make_shared<Device>();
        d->name = "Porch";
        d->deviceConType = 1;
        d->address = kDeviceAddr;
        d->mediaPort = port;
        d->userName = "admin";
        d->password = "admin";
        d->channelNum = channels;
        EXPECT_TRUE(QvDeviceManager::sharedInstance().addDevice(d));
        added.push_back(d);
        return d;
    }

    // The search form for `device` in its navigation controller, as the
    // device list presents it.
    std::shared_ptr<QueryRemoteRecordSetting> openForm(const std::shared_ptr<Device>& device) {
        auto form = std::make_shared<QueryRemoteRecordSetting>();
        nav = std::make_shared<UINavigationController>(form);
        drv().setRoot(nav);
        form->setDevice(device->deviceId);
        drv().advance(0.5);
        return form;
    }

    std::string detailOf(const std::string& table, int section, int row) {
        auto* t = drv().find<UITableView>(table);
        if (!t) return "<no table>";
        auto* cell = t->cellForRowAtIndexPath(NSIndexPath{section, row});
        return cell && cell->detailTextLabel() ? cell->detailTextLabel()->text() : "<no cell>";
    }
    int ticks(const std::string& table, int section, int row) {
        auto* t = drv().find<UITableView>(table);
        auto* cell = t ? t->cellForRowAtIndexPath(NSIndexPath{section, row}) : nullptr;
        return cell && cell->viewWithName("check") ? 1 : 0;
    }

    test::TempDir dir;
    KitTestDriver& drv() { return *driver; }
    // A tablet window instead of the phone's.
    void useTablet() {
        driver.reset();
        KitTestDriver::Options options;
        options.profile = ScreenProfile::Tablet;
        driver = std::make_unique<KitTestDriver>(options);
    }

    std::unique_ptr<KitTestDriver> driver = std::make_unique<KitTestDriver>();
    std::shared_ptr<UINavigationController> nav;
    std::unique_ptr<devemu::DeviceEmulator> emulator;
    std::vector<std::shared_ptr<Device>> added;
};

TEST_F(RecordSearchScreenTest, ChannelMasksCoverEveryChannelUpTo32) {
    struct Case {
        int channels;
        uint32_t all;
    };
    for (Case c : {Case{0, 0}, Case{1, 1}, Case{16, 0xFFFF}, Case{31, 0x7FFFFFFF}, Case{32, 0xFFFFFFFF},
                   Case{33, 0}, Case{-1, 0}})
        EXPECT_EQ(ChannelMask::all(c.channels), c.all) << c.channels;
    struct Text {
        uint32_t mask;
        const char* text;
    };
    for (Text t : {Text{5, "[1,3]"}, Text{0, "[NULL]"}, Text{1023, "[1,2,3,4,5,6,7,8...]"}, Text{255, "[1,2,3,4,5,6,7,8]"},
                   Text{0x80000000u, "[32]"}})
        EXPECT_EQ(QueryRemoteRecordSetting::channelMaskToString(t.mask), t.text) << t.mask;

    // The selection screen at 1, 16 and 32 channels: the full mask ticks
    // "All" and every channel, and Done hands the same mask back.
    for (int channels : {1, 16, 32}) {
        auto report = std::make_shared<MaskReport>();
        auto selection = std::make_shared<UIChannelSelection>();
        selection->delegate = report;
        auto navigation = std::make_shared<UINavigationController>(std::make_shared<UIViewController>());
        drv().setRoot(navigation);
        navigation->pushViewController(selection, false);
        selection->setTotalChannels(channels, ChannelMask::all(channels));
        drv().advance(0.5);
        EXPECT_TRUE(selection->selectedAll()) << channels;
        ASSERT_EQ(static_cast<int>(selection->groups().size()), channels);
        for (auto& g : selection->groups()) EXPECT_TRUE(g->m_bSelected()) << channels << " " << g->m_nChannel();
        ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
        drv().advance(0.5);
        ASSERT_EQ(report->masks.size(), 1u);
        EXPECT_EQ(report->masks[0], ChannelMask::all(channels)) << channels;
    }

    // At 32 channels unticking the last one leaves the lower 31 bits, and
    // bit 31 is never mistaken for a shift by 32.
    auto report = std::make_shared<MaskReport>();
    auto selection = std::make_shared<UIChannelSelection>();
    selection->delegate = report;
    auto navigation = std::make_shared<UINavigationController>(std::make_shared<UIViewController>());
    drv().setRoot(navigation);
    navigation->pushViewController(selection, false);
    selection->setTotalChannels(32, 0xFFFFFFFF);
    drv().advance(0.5);
    selection->addSelectChannel(31);
    EXPECT_FALSE(selection->selectedAll());
    ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
    drv().advance(0.5);
    ASSERT_EQ(report->masks.size(), 1u);
    EXPECT_EQ(report->masks[0], 0x7FFFFFFFu);
}

TEST_F(RecordSearchScreenTest, ChannelsAndKindsAreTickedOnTheirRows) {
    auto device = addDevice(4);
    auto form = openForm(device);
    EXPECT_EQ(detailOf("searchTable", 0, 0), Localization::string("All"));
    // Channel 2 of 4 unticked on the selection screen.
    ASSERT_TRUE(drv().pickRow("searchTable", 0, 0)) << drv().lastError();
    drv().advance(0.5);
    EXPECT_EQ(ticks("channelTable", 0, 0), 1);
    ASSERT_TRUE(drv().pickRow("channelTable", 0, 2)) << drv().lastError();
    EXPECT_EQ(ticks("channelTable", 0, 0), 0);
    EXPECT_EQ(ticks("channelTable", 0, 2), 0);
    drv().saveScreenshot(test::testArtifact("record-search-channels.png"));
    ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
    drv().advance(0.5);
    EXPECT_EQ(form->m_nChannels, 13u);
    EXPECT_EQ(detailOf("searchTable", 0, 0), "[1,3,4]");

    // "All" off with "VIDEO_MOVE"; the other three stay ticked.
    ASSERT_TRUE(drv().pickRow("searchTable", 1, 1)) << drv().lastError();
    EXPECT_EQ(ticks("searchTable", 1, 0) + ticks("searchTable", 1, 2) + ticks("searchTable", 1, 3), 3);
    EXPECT_EQ(ticks("searchTable", 1, 1), 0);
    EXPECT_EQ(ticks("searchTable", 1, 4), 0);
    // Ticking it again does not tick "All".
    ASSERT_TRUE(drv().pickRow("searchTable", 1, 1)) << drv().lastError();
    EXPECT_EQ(ticks("searchTable", 1, 4), 0);
    // "All" off unticks everything.
    ASSERT_TRUE(drv().pickRow("searchTable", 1, 4)) << drv().lastError();
    ASSERT_TRUE(drv().pickRow("searchTable", 1, 4)) << drv().lastError();
    for (int r = 0; r < 5; ++r) EXPECT_EQ(ticks("searchTable", 1, r), 0) << r;
    drv().saveScreenshot(test::testArtifact("record-search-form.png"));
}

TEST_F(RecordSearchScreenTest, AStartNotBeforeTheEndIsADateError) {
    auto device = addDevice(4);
    auto form = openForm(device);
    // Equal, later, and a text that does not parse.
    for (const auto& [start, end] : std::vector<std::pair<std::string, std::string>>{
             {"2026-12-10-08-00-00", "2026-12-10-08-00-00"},
             {"2026-12-10-09-00-00", "2026-12-10-08-00-00"},
             {"2026-02-31-00-00-00", "2026-12-10-08-00-00"},
             {"today", "2026-12-10-08-00-00"}}) {
        form->m_stTime = start;
        form->m_enTime = end;
        ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
        ASSERT_TRUE(drv().waitUntil([&] { return UIAlertView::topmost(drv().window()) != nullptr; })) << start;
        EXPECT_EQ(UIAlertView::topmost(drv().window())->message(), Localization::string("DATEERROR"));
        if (start == "2026-12-10-08-00-00") drv().saveScreenshot(test::testArtifact("record-search-date-error.png"));
        ASSERT_TRUE(drv().tapAlertButton(0)) << drv().lastError();
        drv().advance(0.5);
        EXPECT_EQ(nav->viewControllers().size(), 1u) << start;
        EXPECT_TRUE(form->lastList.expired());
    }
}

TEST_F(RecordSearchScreenTest, ASearchListsTheDevicesRecordingsAndOneIsPlayedToItsEnd) {
    devemu::EmulatorOptions o;
    o.tcpHost = kDeviceAddr;
    o.audio = false;
    // Three that match the search below (channels 1, 3, 4; kinds 0, 2, 3;
    // from 9 December 7:30 to the end of the 10th) and three that do not.
    o.recordings = {
        {"rec-0800.h264", 0, 0, {2026, 12, 10, 8, 0, 0}},
        {"rec-0900.h264", 2, 2, {2026, 12, 10, 9, 0, 0}},
        {"rec-1000.h264", 3, 3, {2026, 12, 10, 10, 0, 0}},
        {"other-channel.h264", 1, 0, {2026, 12, 10, 11, 0, 0}},
        {"motion.h264", 0, 1, {2026, 12, 10, 12, 0, 0}},
        {"too-early.h264", 0, 0, {2026, 12, 9, 6, 0, 0}},
    };
    emulator = std::make_unique<devemu::DeviceEmulator>(o);
    std::string error;
    ASSERT_TRUE(emulator->start(error)) << error;
    auto device = addDevice(4, emulator->tcpPort());
    auto form = openForm(device);

    // Channels 1, 3 and 4; kinds without "VIDEO_MOVE"; start picked on the
    // date picker of the action sheet.
    ASSERT_TRUE(drv().pickRow("searchTable", 0, 0)) << drv().lastError();
    drv().advance(0.5);
    ASSERT_TRUE(drv().pickRow("channelTable", 0, 2)) << drv().lastError();
    ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
    drv().advance(0.5);
    ASSERT_TRUE(drv().pickRow("searchTable", 1, 1)) << drv().lastError();
    ASSERT_TRUE(drv().pickRow("searchTable", 0, 1)) << drv().lastError();
    drv().advance(0.5);
    ASSERT_NE(UIActionSheet::topmost(drv().window()), nullptr);
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 9;
    tm.tm_hour = 7;
    tm.tm_min = 30;
    tm.tm_isdst = -1;
    auto picked = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    ASSERT_TRUE(drv().pickDate("datePicker", picked)) << drv().lastError();
    drv().saveScreenshot(test::testArtifact("record-search-picker.png"));
    ASSERT_TRUE(drv().tap("toolbarItem1")) << drv().lastError();
    drv().advance(0.5);
    EXPECT_EQ(form->m_stTime, "2026-12-09-07-30-00");
    form->m_enTime = "2026-12-10-23-59-59";

    ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
    drv().advance(0.5);
    auto list = form->lastList.lock();
    ASSERT_TRUE(list);
    ASSERT_TRUE(drv().waitUntil([&] { return list->files().size() == 3 && list->sessionStopped(); }, 30));
    EXPECT_EQ(list->files(), (std::vector<std::string>{"rec-0800.h264", "rec-0900.h264", "rec-1000.h264"}));
    EXPECT_EQ(list->fileCount(), 3);
    EXPECT_EQ(form->m_nSearchType, 13u);
    EXPECT_EQ(emulator->countEvents("search answered: mask=13 found=3"), 1u);
    auto* table = drv().find<UITableView>("fileTable");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->numberOfRowsInSection(0), 3);
    drv().saveScreenshot(test::testArtifact("record-search-list.png"));

    // The second recording, played once: pictures, then the end.
    ASSERT_TRUE(drv().pickRow("fileTable", 0, 1)) << drv().lastError();
    drv().advance(0.5);
    auto* player = dynamic_cast<PlayRemoteRecordController*>(nav->viewControllers().back());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->pane());
    ASSERT_TRUE(drv().waitUntil([&] { return player->pane()->picturesShown() >= 5; }, 30));
    EXPECT_EQ(emulator->countEvents("play rec-0900.h264"), 1u);
    drv().saveScreenshot(test::testArtifact("record-play.png"));
    const std::string end = Localization::string("RECORDEND");
    // The pane stops at the end and shows the text a moment later.
    ASSERT_TRUE(drv().waitUntil(
        [&] {
            drv().advance(0.1);
            return player->pane()->statusText() == end;
        },
        60));
    drv().settle();
    auto texts = drv().visibleTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), end), texts.end());
    drv().saveScreenshot(test::testArtifact("record-play-end.png"));

    // Back on the list: the same rows, no session running.
    ASSERT_TRUE(drv().tap("navBack")) << drv().lastError();
    drv().advance(0.5);
    EXPECT_EQ(nav->viewControllers().back(), list.get());
    EXPECT_EQ(table->numberOfRowsInSection(0), 3);
    EXPECT_EQ(device->connectNum.load(), 0);
}

TEST_F(RecordSearchScreenTest, OnATabletTheTimeIsPickedInAPopover) {
    useTablet();
    auto device = addDevice(4);
    auto form = openForm(device);
    form->m_enTime = "2026-12-10-23-59-59";
    drv().find<UITableView>("searchTable")->reloadData();  // the row shows the end set above, whatever today is
    ASSERT_TRUE(drv().pickRow("searchTable", 0, 2)) << drv().lastError();
    drv().advance(0.5);
    EXPECT_EQ(UIActionSheet::topmost(drv().window()), nullptr);
    auto* picker = drv().find<UIDatePicker>("datePicker");
    ASSERT_NE(picker, nullptr);
    // The picker starts at the row's time.
    EXPECT_EQ(QueryRemoteRecordSetting::format(picker->date()), "2026-12-10-23-59-59");
    auto picked = *QueryRemoteRecordSetting::parse("2026-12-11-06-15-00");
    ASSERT_TRUE(drv().pickDate("datePicker", picked)) << drv().lastError();
    drv().saveScreenshot(test::testArtifact("record-search-popover.png"));
    test::expectTextsReadable(drv(), "the picker's popover");  // the row it belongs to, selected, still reads
    ASSERT_TRUE(drv().tapOutsidePopover()) << drv().lastError();
    drv().advance(0.5);
    EXPECT_EQ(form->m_enTime, "2026-12-11-06-15-00");
    EXPECT_EQ(detailOf("searchTable", 0, 2), "2026-12-11-06-15-00");
}

// Names the device does not end within their 260-byte field are cut
// there; a search that finds nothing leaves an empty table and ends.
TEST_F(RecordSearchScreenTest, UnterminatedNamesAreCutAndAnEmptyAnswerEndsTheSearch) {
    for (bool empty : {false, true}) {
        devemu::EmulatorOptions o;
        o.tcpHost = kDeviceAddr;
        o.audio = false;
        if (!empty) o.recordings = {std::string(300, 'n'), "short.h264"};
        emulator = std::make_unique<devemu::DeviceEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->start(error)) << error;
        auto device = addDevice(16, emulator->tcpPort());
        auto form = openForm(device);
        // Recordings named alone start on 1 January.
        form->m_stTime = "2026-01-01-00-00-00";
        form->m_enTime = "2026-01-02-23-59-59";
        ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
        drv().advance(0.5);
        auto list = form->lastList.lock();
        ASSERT_TRUE(list);
        ASSERT_TRUE(drv().waitUntil([&] { return list->sessionStopped(); }, 30)) << empty;
        ASSERT_TRUE(drv().waitUntil([&] { return emulator->countEvents("search answered: mask=65535 ") == 1; }, 30));
        auto* table = drv().find<UITableView>("fileTable");
        ASSERT_NE(table, nullptr);
        if (empty) {
            EXPECT_EQ(list->fileCount(), 0);
            EXPECT_EQ(table->numberOfRowsInSection(0), 0);
        } else {
            ASSERT_EQ(list->files().size(), 2u);
            EXPECT_EQ(list->files()[0], std::string(260, 'n'));
            EXPECT_EQ(list->files()[1], "short.h264");
            EXPECT_EQ(table->numberOfRowsInSection(0), 2);
        }
        ASSERT_TRUE(drv().waitUntil([&] { return device->connectNum.load() == 0; }, 30));
        emulator->stop();
        emulator.reset();
        QvDeviceManager::sharedInstance().removeDevice(device);
        added.clear();
    }
}

// The list as a user reads it: its title, progress until the device
// answers, rows by start time with their length (the file name under it),
// and a search that finds nothing says so with the days and kinds searched.
TEST_F(RecordSearchScreenTest, TheListShowsProgressRowsByStartTimeAndSaysWhenNothingWasFound) {
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "nothing found" : "found");
        devemu::EmulatorOptions o;
        o.tcpHost = kDeviceAddr;
        o.audio = false;
        // Sent in this order: not the order of their start times.
        if (!empty)
            o.recordings = {{"late.h264", 0, 1, {2026, 12, 10, 18, 0, 0}, 3 * 3600 + 60},
                            {"early.h264", 0, 1, {2026, 12, 10, 6, 30, 0}, 125},
                            {"noon.h264", 0, 1, {2026, 12, 10, 12, 0, 0}, 42}};
        emulator = std::make_unique<devemu::DeviceEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->start(error)) << error;
        auto device = addDevice(4, emulator->tcpPort());
        auto form = openForm(device);
        form->m_stTime = "2026-12-10-00-00-00";
        form->m_enTime = "2026-12-10-23-59-59";
        // Motion detection and manual only.
        ASSERT_TRUE(drv().pickRow("searchTable", 1, 0)) << drv().lastError();
        ASSERT_TRUE(drv().pickRow("searchTable", 1, 2)) << drv().lastError();

        // Until the device answers, the list says it is asking.
        auto list = std::make_shared<RemoteRecodeFileList>();
        nav->pushViewController(list, false);
        drv().settle();
        EXPECT_EQ(nav->topViewController()->title(), Localization::string("RECORD_LIST_TITLE"));
        auto* spinner = drv().find<UIActivityIndicatorView>("searchProgress");
        ASSERT_NE(spinner, nullptr);
        EXPECT_TRUE(spinner->isAnimating());
        auto texts = drv().visibleTexts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), Localization::string("RECORD_SEARCHING")), texts.end());
        // The title shows beside the long back title.
        EXPECT_NE(std::find(texts.begin(), texts.end(), Localization::string("RECORD_LIST_TITLE")), texts.end());
        nav->popViewControllerAnimated(false);
        drv().settle();

        ASSERT_TRUE(drv().tap("navRight")) << drv().lastError();
        drv().advance(0.5);
        list = form->lastList.lock();
        ASSERT_TRUE(list);
        ASSERT_TRUE(drv().waitUntil([&] { return list->sessionStopped(); }, 30));
        ASSERT_TRUE(drv().waitUntil([&] { return emulator->countEvents("search answered:") == 1; }, 30));
        drv().settle();
        spinner = drv().find<UIActivityIndicatorView>("searchProgress");
        ASSERT_NE(spinner, nullptr);
        EXPECT_FALSE(spinner->isAnimating());
        texts = drv().visibleTexts();
        drv().saveScreenshot(test::testArtifact(empty ? "record-search-none.png" : "record-search-sorted.png"));
        if (empty) {
            const std::string said = list->statusText();
            EXPECT_NE(said.find("2026-12-10"), std::string::npos) << said;
            EXPECT_NE(said.find(Localization::string("VIDEO_MOVE")), std::string::npos) << said;
            EXPECT_NE(said.find(Localization::string("VIDEO_HAND")), std::string::npos) << said;
            EXPECT_EQ(said.find(Localization::string("VIDEO_SWITCH")), std::string::npos) << said;
            EXPECT_NE(std::find(texts.begin(), texts.end(), said), texts.end()) << "shown";
        } else {
            ASSERT_EQ(list->files().size(), 3u);
            EXPECT_EQ(list->rowFiles(), (std::vector<std::string>{"early.h264", "noon.h264", "late.h264"}));
            EXPECT_EQ(list->statusText(), "");
            auto* table = drv().find<UITableView>("fileTable");
            ASSERT_NE(table, nullptr);
            auto* first = table->cellForRowAtIndexPath(NSIndexPath{0, 0});
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(first->textLabel()->text(), "2026-12-10 06:30:00  ·  2 min 5 s");
            EXPECT_EQ(first->detailTextLabel()->text(), "early.h264");
            EXPECT_EQ(table->cellForRowAtIndexPath(NSIndexPath{0, 1})->textLabel()->text(), "2026-12-10 12:00:00  ·  42 s");
            EXPECT_EQ(table->cellForRowAtIndexPath(NSIndexPath{0, 2})->textLabel()->text(),
                      "2026-12-10 18:00:00  ·  3 h 1 min");
            // The row tapped plays its own file.
            ASSERT_TRUE(drv().pickRow("fileTable", 0, 2)) << drv().lastError();
            ASSERT_TRUE(drv().waitUntil([&] { return emulator->countEvents("play late.h264") == 1; }, 30));
            ASSERT_TRUE(drv().tap("navBack")) << drv().lastError();
            drv().advance(0.5);
        }
        ASSERT_TRUE(drv().waitUntil([&] { return device->connectNum.load() == 0; }, 30));
        emulator->stop();
        emulator.reset();
        QvDeviceManager::sharedInstance().removeDevice(device);
        added.clear();
    }
}

}  // namespace
