#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/core/FileManager.h"
#include "base/utilities/PhotoAlbum.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "platform/graphics/GLContext.h"
#include "support/TempDir.h"
#include "ui/common/ALMoviePlayerControls.h"
#include "ui/common/LocalMediaFiles.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/tablet/SingleImageViewControllerDelegate.h"
#include "ui/tablet/SingleImageViewControllerHD.h"
#include "ui/tablet/SingleMediaPlayerControllerHD.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

using Files = std::shared_ptr<std::vector<QvFileItem>>;

// Stands for the media manager: a landscape screen that presents the viewers.
class Presenter : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }
};

struct IgnoringDelegate : SingleImageViewControllerDelegate {
    void singleImageViewControllerPinch(SingleImageViewControllerHD*, double& scale) override { scale = 1.0; }
    void singleImageViewControllerDismiss(SingleImageViewControllerHD*) override {}
};

void shot(KitTestDriver& driver, const std::string& name) {
    if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/" + name);
}

// Five snapshots and two recordings of device "cam1" in a landscape tablet
// window, each photo a different moment of the recording.
class TabletMediaViewersTest : public ::testing::Test {
protected:
    TabletMediaViewersTest() : driver(KitTestDriver::Options{.profile = ScreenProfile::Tablet}) {}

    void SetUp() override {
        std::string why;
        if (!GLContext::available(&why)) GTEST_SKIP() << "no GL: " << why;
        ASSERT_TRUE(test::useMediaStore(dir.path()));
        auto& files = FileManager::sharedInstance();
        const std::string folder = *files.getRecordPath("cam1", 1, true);
        ASSERT_TRUE(test::recordClip(folder + "2026_12_10_10_00_00.mp4"));
        ASSERT_TRUE(test::recordClip(folder + "2026_12_10_11_00_00.mp4"));
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(test::snapshotOf(folder + "2026_12_10_10_00_00.mp4", i * 0.4,
                                         *files.getPhotoPath("cam1", 1, true) + "10_00_0" + std::to_string(i) + ".png"));
        photos = sorted(files.getAllPhotosForDevice("cam1"));
        records = sorted(files.getAllRecordsForDevice("cam1"));
        ASSERT_EQ(photos->size(), 5u);
        ASSERT_EQ(records->size(), 2u);

        presenter = std::make_shared<Presenter>();
        driver.setRoot(presenter);
        ASSERT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
        ASSERT_EQ(driver.window()->bounds().size.width, 1024);
    }

    static Files sorted(std::vector<QvFileItem> items) {
        std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        return std::make_shared<std::vector<QvFileItem>>(std::move(items));
    }

    // Presents the viewer as the media manager does and shows the photo.
    std::shared_ptr<SingleImageViewControllerHD> openViewer(int index) {
        auto viewer = std::make_shared<SingleImageViewControllerHD>();
        viewer->setPhotos(photos);
        viewer->setDelegate(&ignoring);
        presenter->presentViewController(viewer, true);
        viewer->loadPhotos(index);
        driver.advance(0.5);
        return viewer;
    }

    std::shared_ptr<SingleMediaPlayerControllerHD> openPlayer(int index) {
        auto player = std::make_shared<SingleMediaPlayerControllerHD>();
        player->setEngineRunsOnMainThread(true);
        player->setRecords(records);
        presenter->presentViewController(player, true);
        player->playRecordAtIndex(index);
        driver.advance(0.5);
        return player;
    }

    // The save button: "Saved" shows at once, the album gains one file, the toast goes.
    void saveShowsTheToastAndAddsOne() {
        const size_t before = PhotoAlbum::items().size();
        ASSERT_TRUE(driver.tap("saveButton")) << driver.lastError();
        EXPECT_NE(driver.find("toastView"), nullptr);
        PhotoAlbum::waitForPendingSaves();
        EXPECT_EQ(PhotoAlbum::items().size(), before + 1);
        driver.advance(3);
        EXPECT_EQ(driver.find("toastView"), nullptr);
    }

    static std::vector<int> loadedPages(const SingleImageViewControllerHD& viewer) {
        std::vector<int> out;
        for (size_t i = 0; i < viewer.imageViews().size(); ++i)
            if (viewer.imageViews()[i]) out.push_back(static_cast<int>(i));
        return out;
    }

    // A photo entry the store cannot remove: a folder with content under
    // its name (root may delete any plain file).
    static QvFileItem stuckEntry(QvFileItem item, const std::string& name) {
        item.name = name;
        fs::create_directories(item.fullPath() + "/inner");
        return item;
    }

    test::TempDir dir;
    KitTestDriver driver;
    IgnoringDelegate ignoring;
    std::shared_ptr<Presenter> presenter;
    Files photos;
    Files records;
};

// The RGBA of a picture's pixel.
uint32_t picturePixel(const UIImage& image, int x, int y) {
    const QRgb p = image.qImage().pixel(x, y);
    return (uint32_t(qRed(p)) << 24) | (uint32_t(qGreen(p)) << 16) | (uint32_t(qBlue(p)) << 8) | 255u;
}

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 8; shift <= 24; shift += 8)
        if (std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > tolerance) return false;
    return true;
}

}  // namespace

TEST_F(TabletMediaViewersTest, PhotoViewerKeepsOnlyTheCurrentPhotoAndItsNeighboursLoaded) {
    auto viewer = openViewer(2);
    ASSERT_EQ(presenter->presentedViewController(), viewer.get());
    EXPECT_EQ(viewer->indicatorLabel()->text(), "3 of 5");
    EXPECT_EQ(viewer->pageControl()->numberOfPages(), 5);
    EXPECT_EQ(viewer->pageControl()->currentPage(), 2);
    EXPECT_EQ(viewer->scrollView()->frame(), CGRectMake(0, 58, 1024, 695));
    EXPECT_EQ(viewer->scrollView()->contentSize(), (CGSize{5 * 1024, 695}));
    EXPECT_EQ(viewer->scrollView()->contentOffset(), (CGPoint{2 * 1024, 0}));
    EXPECT_EQ(viewer->pageControl()->frame(), CGRectMake(0, 753, 1024, 15));
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(viewer->imageViews()[2]->frame(), CGRectMake(2 * 1024 + 1, 0, 1022, 695));
    EXPECT_TRUE(driver.isTappable(driver.find("saveButton"))) << driver.lastError();

    // The third photo is what the screen shows in the middle of the picture area.
    driver.settle();
    const auto& picture = viewer->imageViews()[2]->image();
    ASSERT_NE(picture, nullptr);
    const auto file = UIImage::imageWithContentsOfFile((*photos)[2].fullPath());
    EXPECT_EQ(picture->qImage(), file->qImage());
    // Scaled to fit: 320x240 becomes 926.7x695, centred in the 1022-point page.
    const double scale = 695.0 / 240, left = 1 + (1022 - 320 * scale) / 2;
    int compared = 0, close = 0;
    const QImage window = driver.screenshot();
    for (int y = 30; y < 240; y += 40)
        for (int x = 30; x < 320; x += 40, ++compared)
            if (near(KitTestDriver::pixel(window, int(left + (x + 0.5) * scale), int(58 + (y + 0.5) * scale)), picturePixel(*file, x, y), 40))
                ++close;
    EXPECT_GE(close * 10, compared * 9) << close << " of " << compared;
    shot(driver, "tablet_photo_viewer.png");

    // More than half a page along changes the indicator while the finger is still down.
    driver.press(CGPoint{900, 400});
    for (int x = 880; x >= 300; x -= 58) driver.moveTo(CGPoint{double(x), 400});
    EXPECT_EQ(viewer->indicatorLabel()->text(), "4 of 5");
    driver.release(CGPoint{300, 400});
    driver.advance(1);
    EXPECT_EQ(viewer->scrollView()->contentOffset(), (CGPoint{3 * 1024, 0}));
    EXPECT_EQ(viewer->pageControl()->currentPage(), 3);
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{2, 3, 4}));  // page 1 went, two pages away

    // To the last photo: it has no right neighbour.
    driver.drag(CGPoint{900, 400}, CGPoint{100, 400});
    driver.advance(1);
    EXPECT_EQ(viewer->indicatorLabel()->text(), "5 of 5");
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{3, 4}));

    // And back two pages.
    for (int i = 0; i < 2; ++i) {
        driver.drag(CGPoint{100, 400}, CGPoint{900, 400});
        driver.advance(1);
    }
    EXPECT_EQ(viewer->indicatorLabel()->text(), "3 of 5");
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{1, 2, 3}));

    // Back to the media list.
    ASSERT_TRUE(driver.tap("backButton")) << driver.lastError();
    driver.advance(0.5);
    EXPECT_EQ(presenter->presentedViewController(), nullptr);
}

// The dots take taps: the pictures follow, so a delete removes the photo on screen.
TEST_F(TabletMediaViewersTest, TappingThePageDotsMovesThePictures) {
    auto viewer = openViewer(1);
    const CGRect dots = viewer->pageControl()->frame();
    driver.tapAt(CGPoint{dots.size.width * 0.75, dots.origin.y + dots.size.height / 2});
    driver.advance(0.5);
    EXPECT_EQ(viewer->pageControl()->currentPage(), 2);
    EXPECT_EQ(viewer->scrollView()->contentOffset(), (CGPoint{2 * 1024, 0}));
    EXPECT_EQ(viewer->indicatorLabel()->text(), "3 of 5");
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{1, 2, 3}));
    const QvFileItem shown = (*photos)[2];
    ASSERT_TRUE(driver.tap("deleteButton"));
    driver.advance(0.5);
    EXPECT_FALSE(fs::exists(shown.fullPath()));
    EXPECT_TRUE(fs::exists((*photos)[1].fullPath()));
}

TEST_F(TabletMediaViewersTest, PhotoViewerOpenedAtTheLastPhoto) {
    auto viewer = openViewer(4);
    EXPECT_EQ(viewer->indicatorLabel()->text(), "5 of 5");
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{3, 4}));
    ASSERT_TRUE(viewer->imageViews()[4]);
    EXPECT_EQ(viewer->imageViews()[4]->image()->qImage(),
              UIImage::imageWithContentsOfFile((*photos)[4].fullPath())->qImage());
}

TEST_F(TabletMediaViewersTest, TapTogglesTheFullScreenLayout) {
    auto viewer = openViewer(1);
    driver.tapAt(CGPoint{512, 400});
    driver.settle();
    EXPECT_TRUE(viewer->isFullScreenMode());
    EXPECT_EQ(viewer->toolBarBgView()->frame(), CGRectMake(0, -58, 1024, 58));
    EXPECT_EQ(viewer->scrollView()->frame(), CGRectMake(0, 0, 1024, 768));
    EXPECT_EQ(viewer->scrollView()->contentSize(), (CGSize{5 * 1024, 768}));
    EXPECT_EQ(viewer->pageControl()->frame(), CGRectMake(0, 768 + 73, 1024, 15));
    EXPECT_FALSE(driver.isTappable(driver.find("saveButton")));
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{0, 1, 2}));
    for (int page : {0, 1, 2})
        EXPECT_EQ(viewer->imageViews()[page]->frame(), CGRectMake(page * 1024 + 1, 0, 1022, 768)) << page;
    driver.advance(1.0);
    shot(driver, "tablet_photo_fullscreen.png");

    // The second tap brings back the toolbar and the page indicator.
    driver.tapAt(CGPoint{512, 400});
    driver.advance(1.0);
    EXPECT_FALSE(viewer->isFullScreenMode());
    EXPECT_EQ(viewer->toolBarBgView()->frame(), CGRectMake(0, 0, 1024, 58));
    EXPECT_EQ(viewer->scrollView()->frame(), CGRectMake(0, 58, 1024, 695));
    EXPECT_EQ(viewer->pageControl()->frame(), CGRectMake(0, 753, 1024, 15));
    EXPECT_TRUE(driver.isTappable(driver.find("saveButton"))) << driver.lastError();
    EXPECT_TRUE(driver.isTappable(driver.find("pageControl"))) << driver.lastError();
    for (int page : {0, 1, 2})
        EXPECT_EQ(viewer->imageViews()[page]->frame(), CGRectMake(page * 1024 + 1, 0, 1022, 695)) << page;
}

TEST_F(TabletMediaViewersTest, SavingAPhotoShowsTheToastAndFillsTheAlbum) {
    // The last entry is not a picture: its page stays empty and it is not saved.
    QvFileItem broken = photos->front();
    broken.name = "broken.png";
    std::ofstream(broken.fullPath()) << "not a picture";
    photos->push_back(broken);

    auto viewer = openViewer(0);
    const size_t before = PhotoAlbum::items().size();
    saveShowsTheToastAndAddsOne();

    viewer->pageControl()->setCurrentPage(5);
    viewer->changePage();
    driver.advance(1);
    ASSERT_TRUE(viewer->imageViews()[5]);
    EXPECT_EQ(viewer->imageViews()[5]->image(), nullptr);
    ASSERT_TRUE(driver.tap("saveButton"));
    EXPECT_EQ(driver.find("toastView"), nullptr);
    PhotoAlbum::waitForPendingSaves();
    EXPECT_EQ(PhotoAlbum::items().size(), before + 1);
}

// The title is in the middle of the bar, and the "Saved" toast keeps the
// bar live: the first tap on Back goes back; the picture under the toast
// ignores taps meanwhile, as under any toast.
TEST_F(TabletMediaViewersTest, TheTitleIsCentredAndBackWorksWhileSavedShows) {
    auto viewer = openViewer(2);
    UILabel* title = viewer->indicatorLabel();
    ASSERT_NE(title, nullptr);
    const CGPoint centre = title->pointInWindow(CGPoint{title->bounds().size.width / 2, 0});
    EXPECT_NEAR(centre.x, driver.window()->bounds().size.width / 2, 1.0);
    ASSERT_TRUE(driver.tap("saveButton")) << driver.lastError();
    ASSERT_NE(driver.find("toastView"), nullptr);
    const bool barShown = driver.isTappable(driver.find("saveButton"));
    // A tap on the picture does not hide the bar while the toast shows.
    const CGRect b = driver.window()->bounds();
    driver.tapAt(CGPoint{b.size.width / 2, b.size.height - 80});
    EXPECT_EQ(driver.isTappable(driver.find("saveButton")), barShown);
    ASSERT_TRUE(driver.tap("backButton")) << driver.lastError();
    driver.advance(0.6);
    EXPECT_EQ(presenter->presentedViewController(), nullptr) << "the first Back went back";
    PhotoAlbum::waitForPendingSaves();
}

TEST_F(TabletMediaViewersTest, DeletingClosesTheGapOrTheViewer) {
    struct Case {
        const char* what;
        int count;         // photos in the list
        int open;          // page deleted
        int page;          // page shown after
        const char* text;  // indicator after
        int shown;         // which of the original photos is shown after (-1: viewer closed)
    };
    const Case cases[] = {
        {"middle photo: the next slides in", 5, 2, 2, "3 of 4", 3},
        {"last photo: back to the one before", 5, 4, 3, "4 of 4", 3},
        {"first photo", 5, 0, 0, "1 of 4", 1},
        {"only photo: the viewer closes", 1, 0, -1, "", -1},
    };
    const std::vector<QvFileItem> all = *photos;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& item : all) {
            if (!fs::exists(item.fullPath())) {
                ASSERT_TRUE(test::snapshotOf((*records)[0].fullPath(), 0.5, item.fullPath()));
            }
        }
        photos->assign(all.begin(), all.begin() + c.count);
        const Files grid = photos;  // the media grid's list: the same object
        auto viewer = openViewer(c.open);
        const std::string gone = (*photos)[c.open].fullPath();
        ASSERT_TRUE(driver.tap("deleteButton")) << driver.lastError();
        driver.advance(0.5);
        EXPECT_FALSE(fs::exists(gone));
        EXPECT_EQ(grid->size(), static_cast<size_t>(c.count - 1));
        EXPECT_EQ(std::find(grid->begin(), grid->end(), all[c.open]), grid->end());
        if (c.shown < 0) {
            EXPECT_EQ(presenter->presentedViewController(), nullptr);
            continue;
        }
        ASSERT_EQ(presenter->presentedViewController(), viewer.get());
        EXPECT_EQ(viewer->pageControl()->currentPage(), c.page);
        EXPECT_EQ(viewer->pageControl()->numberOfPages(), c.count - 1);
        EXPECT_EQ(viewer->indicatorLabel()->text(), c.text);
        EXPECT_EQ(viewer->imageViews().size(), static_cast<size_t>(c.count - 1));
        EXPECT_EQ(viewer->scrollView()->contentSize(), (CGSize{1024.0 * (c.count - 1), 695}));
        EXPECT_EQ(viewer->scrollView()->contentOffset(), (CGPoint{1024.0 * c.page, 0}));
        auto& shown = viewer->imageViews()[c.page];
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->frame(), CGRectMake(1024.0 * c.page + 1, 0, 1022, 695));
        EXPECT_EQ(shown->image()->qImage(), UIImage::imageWithContentsOfFile(all[c.shown].fullPath())->qImage());
        EXPECT_LE(viewer->loadedPageCount(), 3);
        viewer->returnToMediaList();
        driver.advance(0.5);
    }
}

TEST_F(TabletMediaViewersTest, PhotoThatCannotBeRemovedStaysAndTheUserIsTold) {
    photos->insert(photos->begin() + 1, stuckEntry(photos->front(), "stuck.png"));
    auto viewer = openViewer(1);
    ASSERT_TRUE(driver.tap("deleteButton"));
    driver.settle();
    EXPECT_TRUE(fs::exists(photos->at(1).fullPath() + "/inner"));
    EXPECT_EQ(photos->size(), 6u);
    EXPECT_EQ(viewer->indicatorLabel()->text(), "2 of 6");
    EXPECT_EQ(loadedPages(*viewer), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(driver.tapAlertButton(0)) << driver.lastError();
    EXPECT_EQ(presenter->presentedViewController(), viewer.get());
}

TEST_F(TabletMediaViewersTest, RecordingPlayerPlaysTheFileUnderItsToolbar) {
    auto player = openPlayer(1);
    ALMoviePlayerController* movie = player->player();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(player->index(), 1);
    EXPECT_EQ(MPMoviePlayerController::filePath(movie->contentURL()), (*records)[1].fullPath());
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    EXPECT_EQ(movie->controlStyle(), MPMovieControlStyleEmbedded);
    ASSERT_NE(movie->controls(), nullptr);
    EXPECT_EQ(movie->controls()->style(), ALMoviePlayerControlsStyleEmbedded);
    EXPECT_EQ(movie->view()->frame(), CGRectMake(0, 58, 1024, 710));
    EXPECT_EQ(player->toolBarBgView()->frame(), CGRectMake(0, 0, 1024, 58));
    EXPECT_TRUE(driver.isTappable(driver.find("deleteButton"))) << driver.lastError();

    // Pictures of the file come up on the screen.
    driver.advance(0.5);
    movie->pause();
    driver.settle();
    ASSERT_TRUE(movie->shownPicture());
    EXPECT_GT(movie->shownPicture()->time, 0);
    static_cast<MPMoviePlayerController*>(movie)->view().waitUntilDrawn();
    ASSERT_TRUE(driver.waitUntil([&] { return movie->view()->image() != nullptr; }));
    shot(driver, "tablet_player.png");

    // Full screen from the embedded controls, and back under the toolbar.
    movie->controls()->fullscreenPressed();
    driver.advance(2);
    EXPECT_TRUE(movie->isFullscreen());
    movie->controls()->fullscreenPressed();
    driver.advance(2);
    EXPECT_FALSE(movie->isFullscreen());
    EXPECT_EQ(movie->view()->superview(), player->view());
    EXPECT_EQ(movie->view()->frame(), CGRectMake(0, 58, 1024, 710));

    // An index outside the list plays nothing new.
    const std::string url = movie->contentURL();
    player->playRecordAtIndex(2);
    player->playRecordAtIndex(-1);
    EXPECT_EQ(movie->contentURL(), url);
    EXPECT_EQ(player->index(), 1);

    // Saved: the toast at once, the copy in the album.
    saveShowsTheToastAndAddsOne();

    ASSERT_TRUE(driver.tap("backButton"));
    driver.advance(0.5);
    EXPECT_EQ(presenter->presentedViewController(), nullptr);
}

TEST_F(TabletMediaViewersTest, DeletingThePlayingRecordingClosesThePlayer) {
    const Files grid = records;
    auto player = openPlayer(0);
    ALMoviePlayerController* movie = player->player();
    ASSERT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    const QvFileItem gone = (*records)[0];
    ASSERT_TRUE(driver.tap("deleteButton")) << driver.lastError();
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_FALSE(fs::exists(gone.fullPath()));
    EXPECT_EQ(grid->size(), 1u);
    EXPECT_NE((*grid)[0], gone);
    driver.advance(0.5);
    EXPECT_EQ(presenter->presentedViewController(), nullptr);
    EXPECT_EQ(FileManager::sharedInstance().getAllRecordsForDevice("cam1").size(), 1u);
}

TEST_F(TabletMediaViewersTest, RecordingThatCannotBeRemovedKeepsThePlayerOpenAndTellsTheUser) {
    const QvFileItem stuck = stuckEntry(records->front(), "stuck.mp4");
    records->push_back(stuck);
    auto player = openPlayer(2);
    ASSERT_TRUE(driver.tap("deleteButton"));
    driver.advance(0.5);
    EXPECT_TRUE(fs::exists(stuck.fullPath() + "/inner"));
    EXPECT_EQ(records->size(), 3u);
    EXPECT_EQ(presenter->presentedViewController(), player.get());
    EXPECT_TRUE(driver.tapAlertButton(0)) << driver.lastError();
    EXPECT_EQ(presenter->presentedViewController(), player.get());
}
