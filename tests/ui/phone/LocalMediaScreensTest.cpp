#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/FileManager.h"
#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvVideoRecorder.h"
#include "base/utilities/FFmpegMovieEngine.h"
#include "base/utilities/PhotoAlbum.h"
#include "base/utilities/QvGLView.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "platform/graphics/GLContext.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"
#include "ui/common/ALMoviePlayerController.h"
#include "ui/common/ALMoviePlayerControls.h"
#include "ui/common/LocalMediaFiles.h"
#include "ui/common/UIApplicationALAppDimensions.h"
#include "ui/common/UIDeviceALSystemVersion.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/FileMgmtController.h"
#include "ui/phone/MediaPlayController.h"
#include "ui/phone/PhotoBrowseController.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

// Screenshots for a look, kept when LUMORA_SCREENSHOT_DIR names a folder.
void shot(KitTestDriver& driver, const std::string& name) {
    if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/" + name);
}

class LocalMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!GLContext::available(&why)) GTEST_SKIP() << "no GL: " << why;
        ASSERT_TRUE(test::useMediaStore(dir.path()));
        auto& files = FileManager::sharedInstance();
        const std::string rec = *files.getRecordPath("cam1", 1, true) + "2026_12_10_10_00_00.mp4";
        ASSERT_TRUE(test::recordClip(rec));
        ASSERT_TRUE(test::recordClip(*files.getRecordPath("cam1", 2, true) + "2026_12_10_11_00_00.mp4"));
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(test::snapshotOf(rec, i * 0.3, *files.getPhotoPath("cam1", 1, true) + "10_00_0" + std::to_string(i) + ".png"));
        ASSERT_TRUE(test::snapshotOf(rec, 1.0, *files.getPhotoPath("cam2", 1, true) + "11_00_00.png"));
    }

    std::shared_ptr<FileMgmtController> open(KitTestDriver& driver) {
        auto browser = std::make_shared<FileMgmtController>();
        browser->mediaPlayController()->setEngineRunsOnMainThread(true);
        nav = std::make_shared<UINavigationController>(browser);
        driver.setRoot(nav);
        driver.settle();
        return browser;
    }

    test::TempDir dir;
    std::shared_ptr<UINavigationController> nav;
};

std::vector<std::string> fullscreenOnly(const std::vector<std::string>& events) {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.find("Fullscreen") != std::string::npos) out.push_back(e);
    return out;
}

std::vector<std::string> rowTitles(FileMgmtController& b) {
    std::vector<std::string> out;
    auto* t = b.filesTable();
    for (int r = 0; r < t->numberOfRowsInSection(0); ++r)
        out.push_back(t->cellForRowAtIndexPath(indexPathForRow(r, 0))->textLabel()->text());
    return out;
}

}  // namespace

TEST_F(LocalMediaTest, BrowsesFoldersAndFilesOfBothKinds) {
    KitTestDriver driver;
    auto browser = open(driver);
    EXPECT_EQ(browser->currentFileType(), FileMgmtController::PhotoFolders);
    auto folders = rowTitles(*browser);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"cam1", "cam2"}));

    const auto& photos = browser->photoDeviceArr();
    const int cam1 = static_cast<int>(std::find(photos.begin(), photos.end(), "cam1") - photos.begin());
    ASSERT_TRUE(driver.pickRow("filesTable", 0, cam1)) << driver.lastError();
    EXPECT_EQ(browser->currentFileType(), FileMgmtController::PhotoFiles);
    EXPECT_EQ(rowTitles(*browser).size(), 6u);
    EXPECT_FALSE(browser->filesTable()->indexPathForSelectedRow()) << "the tap left no row marked";
    EXPECT_EQ(browser->navigationItem().leftBarButtonItem()->title, "Back");
    const std::string detail =
        browser->filesTable()->cellForRowAtIndexPath(indexPathForRow(0, 0))->detailTextLabel()->text();
    EXPECT_EQ(detail.rfind("cam1, channel: 01, size: ", 0), 0u) << detail;
    shot(driver, "media_files.png");

    browser->closeButtonTapped();
    EXPECT_EQ(browser->currentFileType(), FileMgmtController::PhotoFolders);
    EXPECT_EQ(browser->navigationItem().leftBarButtonItem()->title, "Cancel");

    ASSERT_TRUE(driver.pickSegment("fileTypeSegment", 1));
    EXPECT_EQ(browser->currentFileType(), FileMgmtController::RecordFolders);
    EXPECT_EQ(rowTitles(*browser), (std::vector<std::string>{"cam1"}));
    ASSERT_TRUE(driver.pickRow("filesTable", 0, 0));
    EXPECT_EQ(rowTitles(*browser).size(), 2u);

    // While editing the kind cannot be switched.
    browser->editButtonTapped();
    EXPECT_TRUE(browser->filesTable()->isEditing());
    EXPECT_FALSE(driver.pickSegment("fileTypeSegment", 0));
    EXPECT_EQ(browser->currentFileType(), FileMgmtController::RecordFiles);
}

TEST_F(LocalMediaTest, DeletesFilesAndFoldersOnlyWhenTheStoreRemovedThem) {
    KitTestDriver driver;
    auto browser = open(driver);
    const auto& photos = browser->photoDeviceArr();
    const int cam1 = static_cast<int>(std::find(photos.begin(), photos.end(), "cam1") - photos.begin());
    ASSERT_TRUE(driver.pickRow("filesTable", 0, cam1));
    const QvFileItem first = browser->photoBrowseController()->photos()[0];
    browser->commitEditingStyle(browser->filesTable(), UITableViewCellEditingStyle::Delete, indexPathForRow(0, 0));
    EXPECT_FALSE(fs::exists(first.fullPath()));
    EXPECT_EQ(rowTitles(*browser).size(), 5u);

    // An entry the store cannot remove (a folder with content under a
    // photo's name, as root may not be kept from deleting a plain file)
    // keeps its row, and the user is told.
    const std::string channel = browser->photoBrowseController()->photos()[0].path;
    fs::create_directories(channel + "stuck.png/inner");
    browser->filesTable()->reloadData();
    const auto rows = rowTitles(*browser);
    ASSERT_EQ(rows.size(), 6u);
    const int stuck = static_cast<int>(std::find(rows.begin(), rows.end(), "stuck.png") - rows.begin());
    browser->commitEditingStyle(browser->filesTable(), UITableViewCellEditingStyle::Delete, indexPathForRow(stuck, 0));
    EXPECT_TRUE(fs::exists(channel + "stuck.png/inner"));
    EXPECT_EQ(rowTitles(*browser).size(), 6u);
    driver.settle();
    EXPECT_TRUE(driver.tapAlertButton(0)) << driver.lastError();

    // A folder row goes with its folder.
    browser->closeButtonTapped();
    const auto before = browser->photoDeviceArr().size();
    browser->commitEditingStyle(browser->filesTable(), UITableViewCellEditingStyle::Delete, indexPathForRow(0, 0));
    EXPECT_EQ(browser->photoDeviceArr().size(), before - 1);
}

TEST_F(LocalMediaTest, PhotoBrowserPagesWithAtMostFourLoadedSavesAndDeletes) {
    KitTestDriver driver;
    auto browser = open(driver);
    const auto& photos = browser->photoDeviceArr();
    const int cam1 = static_cast<int>(std::find(photos.begin(), photos.end(), "cam1") - photos.begin());
    ASSERT_TRUE(driver.pickRow("filesTable", 0, cam1));
    ASSERT_TRUE(driver.pickRow("filesTable", 0, 4));
    driver.advance(0.5);
    auto pb = browser->photoBrowseController();
    ASSERT_EQ(nav->topViewController(), pb.get());
    EXPECT_EQ(pb->currentPage(), 4);
    EXPECT_EQ(pb->navigationItem().title(), "5 of 6");
    // Pages 2 to 5 are loaded, no others.
    for (int i = 0; i < 6; ++i) EXPECT_EQ(!pb->photoViews()[i].isNull(), i >= 2 && i <= 5) << i;
    shot(driver, "media_photo.png");

    // A swipe to the previous page moves the window.
    driver.drag(CGPoint{60, 200}, CGPoint{300, 200});
    driver.advance(1);
    EXPECT_EQ(pb->currentPage(), 3);
    EXPECT_EQ(pb->navigationItem().title(), "4 of 6");
    EXPECT_LE(pb->loadedPageCount(), 4);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(!pb->photoViews()[i].isNull(), i >= 1 && i <= 4) << i;

    pb->saveCurrentImageToPhotoAlbum();
    PhotoAlbum::waitForPendingSaves();
    EXPECT_EQ(PhotoAlbum::items().size(), 1u);
    EXPECT_NE(driver.find("toastView"), nullptr);
    driver.advance(3);

    const std::string gone = pb->photos()[3].fullPath();
    pb->deleteCurrentImage();
    driver.advance(1);
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_EQ(pb->photos().size(), 5u);
    EXPECT_EQ(pb->navigationItem().title(), "4 of 5");
    EXPECT_LE(pb->loadedPageCount(), 4);
}

TEST_F(LocalMediaTest, PlaysARecordingWithItsControls) {
    KitTestDriver driver;
    auto browser = open(driver);
    ASSERT_TRUE(driver.pickSegment("fileTypeSegment", 1));
    ASSERT_TRUE(driver.pickRow("filesTable", 0, 0));

    std::vector<std::string> events;
    auto& c = NotificationCenter::defaultCenter();
    std::vector<NotificationCenter::ObserverId> ids;
    for (const char* name : {ALMoviePlayerContentURLDidChangeNotification, MPMoviePlayerLoadStateDidChangeNotification,
                             MPMovieDurationAvailableNotification, MPMoviePlayerPlaybackStateDidChangeNotification,
                             MPMoviePlayerPlaybackDidFinishNotification, MPMoviePlayerWillEnterFullscreenNotification,
                             MPMoviePlayerDidEnterFullscreenNotification, MPMoviePlayerWillExitFullscreenNotification,
                             MPMoviePlayerDidExitFullscreenNotification})
        ids.push_back(c.addObserver(name, nullptr, [&events, name](const Notification&) { events.push_back(name); }));

    ASSERT_TRUE(driver.pickRow("filesTable", 0, 0));
    driver.advance(0.5);
    auto player = browser->mediaPlayController();
    auto* movie = player->moviePlayer();
    ASSERT_NE(movie, nullptr);
    auto* controls = movie->controls();
    ASSERT_NE(controls, nullptr);
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    EXPECT_FALSE(movie->timeoutPending());  // a file gets no load time-out
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], ALMoviePlayerContentURLDidChangeNotification);
    EXPECT_EQ(events[1], MPMoviePlayerLoadStateDidChangeNotification);
    EXPECT_EQ(events[2], MPMovieDurationAvailableNotification);
    EXPECT_EQ(events[3], MPMoviePlayerPlaybackStateDidChangeNotification);

    // The controls showed when playing began and hide after five quiet seconds... but the movie is 2 s.
    EXPECT_TRUE(controls->isShowing());
    EXPECT_TRUE(controls->durationTimerRunning());

    // The picture on screen is the file's picture at the player's time.
    movie->pause();
    driver.settle();
    ASSERT_TRUE(movie->shownPicture());
    const MoviePicture shown = *movie->shownPicture();
    {
        FFmpegMovieEngine engine;
        MovieInfo info;
        MoviePicture ref;
        std::string error;
        ASSERT_TRUE(engine.open(MPMoviePlayerController::filePath(movie->contentURL()), info, error));
        ASSERT_TRUE(engine.pictureAt(shown.time, ref, error));
        EXPECT_EQ(ref.yuv, shown.yuv);
    }
    controls->hideControls(nullptr);
    driver.advance(0.5);
    EXPECT_FALSE(controls->isShowing());
    static_cast<MPMoviePlayerController*>(movie)->view().waitUntilDrawn();
    driver.waitUntil([&] { return movie->view()->image() != nullptr; });
    driver.settle();
    {
        QvGLView reference(Rect{0, 0, movie->view()->frame().size.width, movie->view()->frame().size.height});
        ASSERT_TRUE(reference.render(shown.yuv, shown.width, shown.height));
        const RGBAImage& ref = reference.layer().contents();
        const CGPoint origin = movie->view()->pointInWindow(CGPoint{0, 0});
        int compared = 0, close = 0;
        const QImage window = driver.screenshot();
        for (int y = 140; y < 340; y += 37)
            for (int x = 10; x < 310; x += 29) {
                const uint32_t p = KitTestDriver::pixel(window, int(origin.x) + x, int(origin.y) + y);
                const uint8_t* r = &ref.pixels[(size_t(y) * ref.width + x) * 4];
                const int dr = std::abs(int((p >> 24) & 255) - r[0]), dg = std::abs(int((p >> 16) & 255) - r[1]);
                ++compared;
                if (dr <= 3 && dg <= 3) ++close;
            }
        EXPECT_EQ(close, compared);
    }
    shot(driver, "media_player.png");

    // Controls show on a tap and hide 5 s later on the clock.
    driver.tapAt(CGPoint{160, 200});
    driver.advance(0.4);
    EXPECT_TRUE(controls->isShowing());
    shot(driver, "media_player_controls.png");
    driver.advance(4.0);
    EXPECT_TRUE(controls->isShowing());
    driver.advance(1.5);
    EXPECT_FALSE(controls->isShowing());

    // Seeking by the slider's time and by rate.
    movie->setCurrentPlaybackTime(1.0);
    EXPECT_DOUBLE_EQ(movie->currentPlaybackTime(), 1.0);
    controls->monitorMoviePlayback();
    EXPECT_EQ(controls->timeElapsedLabel()->text(), "0:01");
    EXPECT_EQ(controls->timeRemainingLabel()->text(), "-0:01");

    // Full screen: the view goes over a black backdrop in the window, and follows rotation.
    events.clear();
    controls->fullscreenPressed();
    driver.advance(2);
    EXPECT_TRUE(movie->isFullscreen());
    EXPECT_EQ(movie->view()->superview(), movie->movieBackgroundView());
    EXPECT_EQ(movie->movieBackgroundView()->superview(), driver.window());
    EXPECT_NE(controls->seekForwardButton(), nullptr);  // rebuilt in the full-screen layout
    EXPECT_EQ(controls->style(), ALMoviePlayerControlsStyleDefault);
    EXPECT_EQ(fullscreenOnly(events), (std::vector<std::string>{MPMoviePlayerWillEnterFullscreenNotification,
                                                MPMoviePlayerDidEnterFullscreenNotification}));
    shot(driver, "media_fullscreen.png");
    // Seeking by rate: forward, back, and a second press plays on at 1.
    ASSERT_NE(controls->seekBackwardButton(), nullptr);
    movie->setCurrentPlaybackTime(1.0);
    movie->play();
    controls->seekForwardPressed();
    EXPECT_EQ(movie->currentPlaybackRate(), 3.0);
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStateSeekingForward);
    controls->seekBackwardPressed();
    EXPECT_EQ(movie->currentPlaybackRate(), -3.0);
    EXPECT_FALSE(controls->seekForwardButton()->isSelected());
    driver.advance(0.2);
    EXPECT_LT(movie->currentPlaybackTime(), 1.0);
    controls->seekBackwardPressed();
    EXPECT_EQ(movie->currentPlaybackRate(), 1.0);
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    movie->pause();
    controls->showControls(nullptr);
    driver.advance(0.4);
    shot(driver, "media_fullscreen_controls.png");

    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientation::LandscapeRight);
    driver.advance(1);
    EXPECT_DOUBLE_EQ(movie->movieBackgroundRotation(), M_PI / 2);
    EXPECT_EQ(movie->view()->frame(), CGRectMake(20, 20, 480, 320));
    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientation::Portrait);
    driver.advance(1);
    EXPECT_EQ(movie->view()->frame(), CGRectMake(20, 20, 320, 480));

    events.clear();
    controls->fullscreenPressed();
    driver.advance(2);
    EXPECT_FALSE(movie->isFullscreen());
    EXPECT_EQ(movie->view()->superview(), player->view());
    EXPECT_EQ(movie->movieBackgroundView()->superview(), nullptr);
    EXPECT_EQ(movie->view()->frame(), player->defaultFrame());
    EXPECT_EQ(fullscreenOnly(events), (std::vector<std::string>{MPMoviePlayerWillExitFullscreenNotification,
                                                MPMoviePlayerDidExitFullscreenNotification}));

    // To the end: did finish, the controls back to the start.
    events.clear();
    movie->play();
    driver.advance(3);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), MPMoviePlayerPlaybackDidFinishNotification);
    EXPECT_TRUE(controls->playPauseButton()->isSelected());
    EXPECT_FALSE(controls->durationTimerRunning());

    // Saved to the album.
    player->saveRecordToPhotoAlbum();
    PhotoAlbum::waitForPendingSaves();
    EXPECT_EQ(PhotoAlbum::items().size(), 1u);
    for (auto id : ids) c.removeObserver(id);
}

TEST(MoviePlayerContract, ContentBeforeControlsIsAProgrammingError) {
    EXPECT_THROW(ALMoviePlayerController::initWithContentURL("file:///x.mp4"), ALMoviePlayerControllerException);
    KitTestDriver driver;
    ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
    EXPECT_THROW(player.setContentURL("file:///x.mp4"), ALMoviePlayerControllerException);
}

TEST(MoviePlayerControlsLayout, SpacingsFollowTheWidth) {
    KitTestDriver driver;
    ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
    auto* controls = new ALMoviePlayerControls(&player, ALMoviePlayerControlsStyleFullscreen);
    player.setControls(controls);
    player.setFrame(CGRectMake(0, 0, 320, 240));
    controls->layoutSubviews();
    EXPECT_EQ(controls->fullscreenButton()->frame().origin.x, 10);
    EXPECT_EQ(controls->volumeView()->alpha(), 0);
    player.setFrame(CGRectMake(0, 0, 321, 240));
    controls->layoutSubviews();
    EXPECT_EQ(controls->fullscreenButton()->frame().origin.x, 20);
    EXPECT_EQ(controls->volumeView()->alpha(), 1);
    // The volume slider alone: no route button in the bottom bar.
    EXPECT_FALSE(controls->volumeView()->volumeSlider()->isHidden());
    EXPECT_TRUE(controls->volumeView()->routeButton()->isHidden());
    controls->setTimeRemainingDecrements(true);
    controls->setTimeLabelValues(75, 200);
    EXPECT_EQ(controls->timeElapsedLabel()->text(), "1:15");
    EXPECT_EQ(controls->timeRemainingLabel()->text(), "-2:05");
}

TEST(MoviePlayerTimeout, NetworkAddressArmsOneTimeOutAndTellsTheDelegate) {
    KitTestDriver driver;
    struct D : ALMoviePlayerControllerDelegate {
        int timedOut = 0;
        void moviePlayerWillMoveFromWindow() override {}
        void movieTimedOut() override { ++timedOut; }
    } d;
    ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
    player.setDelegate(&d);
    player.setControls(new ALMoviePlayerControls(&player, ALMoviePlayerControlsStyleDefault));
    player.setContentURL("http://127.0.0.1:1/x.mp4");
    player.play();
    EXPECT_TRUE(player.timeoutPending());
    driver.advance(19.5);
    EXPECT_EQ(d.timedOut, 0);
    driver.advance(1);
    EXPECT_EQ(d.timedOut, 1);
    EXPECT_EQ(player.controls()->state(), ALMoviePlayerControlsStateLoading);
}

TEST_F(LocalMediaTest, PhotoBrowserEdges) {
    KitTestDriver driver;
    auto browser = open(driver);
    const auto& folders = browser->photoDeviceArr();
    const int cam2 = static_cast<int>(std::find(folders.begin(), folders.end(), "cam2") - folders.begin());
    ASSERT_TRUE(driver.pickRow("filesTable", 0, cam2));
    ASSERT_TRUE(driver.pickRow("filesTable", 0, 0));
    driver.advance(0.5);
    auto pb = browser->photoBrowseController();
    ASSERT_EQ(nav->topViewController(), pb.get());
    // One photo on page 0: exactly that page.
    EXPECT_EQ(pb->loadedPageCount(), 1);
    EXPECT_EQ(pb->navigationItem().title(), "1 of 1");

    // A photo whose file has gone is not saved and shows no toast.
    const std::string path = pb->photos()[0].fullPath();
    const std::string aside = dir.file("aside.png");
    fs::rename(path, aside);
    pb->saveCurrentImageToPhotoAlbum();
    PhotoAlbum::waitForPendingSaves();
    EXPECT_EQ(driver.find("toastView"), nullptr);
    EXPECT_TRUE(PhotoAlbum::items().empty());
    fs::rename(aside, path);

    // A photo the store cannot remove stays, and the user is told.
    fs::rename(path, aside);
    fs::create_directories(path + "/inner");
    pb->deleteCurrentImage();
    driver.settle();
    EXPECT_EQ(pb->photos().size(), 1u);
    EXPECT_EQ(nav->topViewController(), pb.get());
    EXPECT_TRUE(driver.tapAlertButton(0)) << driver.lastError();
    fs::remove_all(path);
    fs::rename(aside, path);

    // Deleting the only photo closes the browser.
    pb->deleteCurrentImage();
    driver.advance(1);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(nav->topViewController(), browser.get());
}

TEST_F(LocalMediaTest, DeletingTheLastOfSeveralPhotosShowsTheOneBefore) {
    KitTestDriver driver;
    auto browser = open(driver);
    const auto& folders = browser->photoDeviceArr();
    const int cam1 = static_cast<int>(std::find(folders.begin(), folders.end(), "cam1") - folders.begin());
    ASSERT_TRUE(driver.pickRow("filesTable", 0, cam1));
    ASSERT_TRUE(driver.pickRow("filesTable", 0, 5));
    driver.advance(0.5);
    auto pb = browser->photoBrowseController();
    EXPECT_EQ(pb->navigationItem().title(), "6 of 6");
    pb->deleteCurrentImage();
    driver.advance(1);
    EXPECT_EQ(pb->currentPage(), 4);
    EXPECT_EQ(pb->navigationItem().title(), "5 of 5");
    EXPECT_EQ(pb->photoScrollView()->contentOffset().x, 4 * pb->photoScrollView()->bounds().size.width);
    // Back in the list, the file is gone from the rows.
    nav->popViewControllerAnimated(false);
    driver.settle();
    EXPECT_EQ(rowTitles(*browser).size(), 5u);
}

TEST_F(LocalMediaTest, RecordingPlayerEdges) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Phone568});
    auto player = std::make_shared<MediaPlayController>();
    player->setEngineRunsOnMainThread(true);
    driver.setRoot(player);
    driver.settle();
    // Index 0 of an empty list: nothing, no player.
    player->playRecordAtIndex(0);
    EXPECT_FALSE(player->isinit());
    EXPECT_EQ(player->moviePlayer(), nullptr);

    player->setRecords(FileManager::sharedInstance().getAllRecordsForDevice("cam1"));
    ASSERT_EQ(player->records().size(), 2u);
    player->playRecordAtIndex(0);
    driver.advance(0.5);
    auto* movie = player->moviePlayer();
    ASSERT_NE(movie, nullptr);
    const std::string first = movie->contentURL();
    // A second recording replaces the first in the same view.
    player->playRecordAtIndex(1);
    driver.advance(0.5);
    EXPECT_EQ(player->moviePlayer(), movie);
    EXPECT_NE(movie->contentURL(), first);
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    int views = 0;
    for (auto* v : player->view()->subviews()) views += v == movie->view() ? 1 : 0;
    EXPECT_EQ(views, 1);
    EXPECT_EQ(player->view()->subviews().size(), 1u);

    // On a 4-inch phone in landscape the player is 568 x 320.
    ASSERT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
    driver.settle();
    EXPECT_EQ(player->defaultFrame(), CGRectMake(0, 0, 568, 320));
    EXPECT_EQ(movie->view()->frame(), CGRectMake(0, 0, 568, 320));

    // A recording that does not play is reported.
    const std::string broken = *FileManager::sharedInstance().getRecordPath("cam1", 1, true) + "broken.mp4";
    { std::ofstream(broken) << "not a movie"; }
    player->setRecords(FileManager::sharedInstance().getAllRecordsForDevice("cam1"));
    const auto& records = player->records();
    const int index = static_cast<int>(std::find_if(records.begin(), records.end(), [](const QvFileItem& i) {
                                           return i.name == "broken.mp4";
                                       }) - records.begin());
    player->playRecordAtIndex(index);
    driver.advance(0.5);
    EXPECT_TRUE(driver.tapAlertButton(0)) << driver.lastError();
    // ... and is not offered to the album.
    player->saveRecordToPhotoAlbum();
    PhotoAlbum::waitForPendingSaves();
    EXPECT_TRUE(PhotoAlbum::items().empty());
    EXPECT_EQ(driver.find("toastView"), nullptr);
}

TEST(MoviePlayerControlsStyles, NoneBuildsNothingAndIgnoresTaps) {
    KitTestDriver driver;
    ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
    auto* controls = new ALMoviePlayerControls(&player, ALMoviePlayerControlsStyleNone);
    player.setControls(controls);
    EXPECT_EQ(controls->bottomBar(), nullptr);
    EXPECT_EQ(controls->topBar(), nullptr);
    controls->touchesEnded({}, nullptr);
    driver.advance(1);
    EXPECT_FALSE(controls->isShowing());

    // The same controls again neither resize nor re-add them.
    player.setFrame(CGRectMake(0, 0, 200, 100));
    controls->setFrame(CGRectMake(0, 0, 10, 10));
    player.setControls(controls);
    EXPECT_EQ(controls->frame(), CGRectMake(0, 0, 10, 10));

    // Showing while shown, hiding while hidden: only the completion.
    int done = 0;
    controls->hideControls([&] { ++done; });
    EXPECT_EQ(done, 1);
}

TEST(MoviePlayerTimeout, PlayingTwiceArmsOneTimeOutAndFilesNone) {
    KitTestDriver driver;
    struct D : ALMoviePlayerControllerDelegate {
        int timedOut = 0;
        void moviePlayerWillMoveFromWindow() override {}
        void movieTimedOut() override { ++timedOut; }
    } d;
    ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
    player.setDelegate(&d);
    player.setControls(new ALMoviePlayerControls(&player, ALMoviePlayerControlsStyleDefault));
    player.setContentURL("http://127.0.0.1:1/x.mp4");
    driver.advance(10);
    player.play();
    driver.advance(15);
    EXPECT_EQ(d.timedOut, 0);  // the first was cancelled by the second play
    driver.advance(6);
    EXPECT_EQ(d.timedOut, 1);
    driver.advance(30);
    EXPECT_EQ(d.timedOut, 1);
}

TEST_F(LocalMediaTest, DraggingThePositionSliderSeeks) {
    KitTestDriver driver;
    auto player = std::make_shared<MediaPlayController>();
    player->setEngineRunsOnMainThread(true);
    driver.setRoot(player);
    driver.settle();
    player->setRecords(FileManager::sharedInstance().getAllRecordsForDevice("cam1"));
    player->playRecordAtIndex(0);
    driver.advance(0.5);
    auto* movie = player->moviePlayer();
    auto* controls = movie->controls();
    ASSERT_TRUE(controls->isShowing());
    auto* slider = controls->durationSlider();
    ASSERT_EQ(slider->maximumValue, 2.0f);
    const CGPoint from = slider->pointInWindow(slider->pointForValue(slider->value()));
    const CGPoint to = slider->pointInWindow(slider->pointForValue(1.5f));
    driver.press(from);
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePaused);
    EXPECT_FALSE(controls->hidePending());
    driver.moveTo(to);
    EXPECT_EQ(controls->timeElapsedLabel()->text(), "0:01");
    driver.release(to);
    driver.settle();
    EXPECT_DOUBLE_EQ(std::floor(movie->currentPlaybackTime()), 1.0);
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    EXPECT_TRUE(controls->hidePending());
}

TEST(MoviePlayerSystemVersion, OlderSystemsInsetTheStatusBar) {
    KitTestDriver driver;
    struct Case {
        float version;
        bool statusBarHidden;
        CGFloat statusBar;
        CGSize landscape;
        CGFloat barHeight;
    };
    for (const Case& c : {Case{7.0f, false, 0, {480, 320}, 70}, Case{6.1f, false, 20, {480, 300}, 50},
                          Case{6.1f, true, 0, {480, 320}, 50}}) {
        UIDeviceALSystemVersion::overrideVersionForTesting(c.version);
        UIApplication::sharedApplication().setStatusBarHidden(c.statusBarHidden);
        ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
        EXPECT_EQ(player.statusBarHeightInOrientation(UIInterfaceOrientation::Portrait), c.statusBar) << c.version;
        EXPECT_EQ(UIApplicationALAppDimensions::sizeInOrientation(UIInterfaceOrientation::LandscapeLeft), c.landscape);
        ALMoviePlayerControls controls(&player, ALMoviePlayerControlsStyleNone);
        EXPECT_EQ(controls.barHeight(), c.barHeight);
    }
    UIDeviceALSystemVersion::overrideVersionForTesting(-1);
}

TEST(MoviePlayerLifetime, APlayerGoneWhileFullScreenLeavesNothingInTheWindow) {
    KitTestDriver driver;
    auto root = std::make_shared<UIViewController>();
    driver.setRoot(root);
    QPointer<UIView> backdrop;
    QPointer<ALMoviePlayerControls> controls;
    {
        ALMoviePlayerController player(CGRectMake(0, 0, 320, 240));
        controls = new ALMoviePlayerControls(&player, ALMoviePlayerControlsStyleDefault);
        player.setControls(controls);
        root->view()->addSubview(player.view());
        player.setFullscreen(true, true);
        driver.advance(1);
        backdrop = player.movieBackgroundView();
        ASSERT_EQ(backdrop->superview(), driver.window());
    }
    EXPECT_TRUE(backdrop.isNull());
    EXPECT_TRUE(controls.isNull());
    // Notifications meant for the player's controls reach nobody now.
    NotificationCenter::defaultCenter().post(MPMoviePlayerPlaybackStateDidChangeNotification, nullptr);
    driver.advance(1);
}

TEST_F(LocalMediaTest, FileSizesShowInWholeKilobytes) {
    const std::string channel = *FileManager::sharedInstance().getPhotoPath("cam3", 2, true);
    { std::ofstream(channel + "a.png") << std::string(1500, 'x'); }
    { std::ofstream(channel + "b.png") << std::string(999, 'x'); }
    KitTestDriver driver;
    auto browser = open(driver);
    const auto& folders = browser->photoDeviceArr();
    const int cam3 = static_cast<int>(std::find(folders.begin(), folders.end(), "cam3") - folders.begin());
    ASSERT_TRUE(driver.pickRow("filesTable", 0, cam3));
    std::vector<std::string> details;
    auto* t = browser->filesTable();
    for (int r = 0; r < t->numberOfRowsInSection(0); ++r)
        details.push_back(t->cellForRowAtIndexPath(indexPathForRow(r, 0))->detailTextLabel()->text());
    std::sort(details.begin(), details.end());
    EXPECT_EQ(details, (std::vector<std::string>{"cam3, channel: 02, size: 0Kb", "cam3, channel: 02, size: 1Kb"}));
}
