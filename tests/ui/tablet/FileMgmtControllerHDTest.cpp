#include "ui/tablet/FileMgmtControllerHD.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "MediaFoldersFixture.h"
#include "platform/AlertPresenter.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/NSIndexPath.h"
#include "ui/tablet/SingleImageViewControllerHD.h"
#include "ui/tablet/SingleMediaPlayerControllerHD.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

// The media manager presented by the home screen stand-in over three
// device folders: "cam1" (20 photos, 12 recordings), "cam2" (3 photos),
// "cam3" (2 recordings only).
class FileMgmtControllerHDTest : public test::MediaFoldersFixture {
protected:
    static constexpr CGFloat kWs = 762;

    void SetUp() override {
        MediaFoldersFixture::SetUp();
        AlertPresenter::install(std::make_shared<KitAlertPresenter>());
        addPhotos("cam1", 20);
        addRecords("cam1", 12);
        addPhotos("cam2", 3);
        addRecords("cam3", 2);
    }

    void open() {
        manager = std::make_shared<FileMgmtControllerHD>();
        home->presentModalViewController(manager, true);
        driver.advance(0.5);
        grid = manager->fileViewMgmtController();
        ASSERT_NE(grid, nullptr);
    }

    int rowOf(const std::string& folder) {
        const auto& dirs = manager->allDeviceDirs();
        return static_cast<int>(std::find(dirs.begin(), dirs.end(), folder) - dirs.begin());
    }
    UIButton* folderButton(int row) {
        UITableViewCell* cell = manager->deviceListTable->cellForRowAtIndexPath(indexPathForRow(row, 0));
        return cell ? dynamic_cast<UIButton*>(cell->viewWithName("deviceFolderButton")) : nullptr;
    }
    bool tapFolder(const std::string& folder) {
        UIButton* b = folderButton(rowOf(folder));
        return b && driver.tapView(b);
    }
    std::vector<QvFileItem> photosOf(const std::string& folder) {
        return FileManager::sharedInstance().getAllPhotosForDevice(folder);
    }
    void swipe(int direction) {
        UIView* v = grid->view();
        const CGFloat from = direction > 0 ? 650 : 110, to = direction > 0 ? 110 : 650;
        driver.drag(v->pointInWindow(CGPoint{from, 300}), v->pointInWindow(CGPoint{to, 300}), 12);
        driver.advance(0.1);
    }
    CGPoint itemCentre(int position) {
        CGRect f = grid->frameForIndex(position, 0);
        return grid->view()->pointInWindow(CGPoint{CGRectGetMidX(f), CGRectGetMidY(f)});
    }
    void deleteFolder(const std::string& folder) {
        manager->commitEditingStyle(manager->deviceListTable, UITableViewCellEditingStyle::Delete,
                                    indexPathForRow(rowOf(folder), 0));
    }

    std::shared_ptr<FileMgmtControllerHD> manager;
    std::shared_ptr<FileViewMgmtControllerHD> grid;
};

TEST_F(FileMgmtControllerHDTest, FirstOpeningSelectsTheFirstFolderAndShowsItsPhotos) {
    open();
    EXPECT_EQ(home->presentedViewController(), manager.get());
    auto dirs = manager->allDeviceDirs();
    std::sort(dirs.begin(), dirs.end());
    EXPECT_EQ(dirs, (std::vector<std::string>{"cam1", "cam2", "cam3"}));
    EXPECT_EQ(manager->curDeviceIdx(), 0);
    EXPECT_EQ(manager->curViewMode(), 0);
    EXPECT_EQ(*grid->photos(), photosOf(manager->allDeviceDirs()[0]));
    EXPECT_EQ(grid->imgvdo(), 0);
    EXPECT_FALSE(grid->editable());
    EXPECT_EQ(grid->view()->frame(), CGRectMake(0, 58, kWs, 710));
    EXPECT_TRUE(folderButton(0)->isSelected());
    EXPECT_FALSE(folderButton(1)->isSelected());
    EXPECT_TRUE(manager->segmentedListViewControl()->isHidden());
    EXPECT_EQ(manager->segmentedImgVdoControl()->frame().size, (CGSize{125, 42}));
    // The toolbar of the list: home and edit; "Save" is never shown.
    EXPECT_NE(driver.find("homeBtn"), nullptr);
    EXPECT_NE(driver.find("editListBtn"), nullptr);
    EXPECT_EQ(driver.find("doneEditListBtn"), nullptr);
    shot("tablet_media.png");

    ASSERT_TRUE(tapFolder("cam2"));
    EXPECT_EQ(manager->curDeviceIdx(), rowOf("cam2"));
    EXPECT_EQ(*grid->photos(), photosOf("cam2"));
    EXPECT_TRUE(folderButton(rowOf("cam2"))->isSelected());
    EXPECT_FALSE(folderButton(rowOf("cam1"))->isSelected());
}

TEST_F(FileMgmtControllerHDTest, SwitchingMediaKeepsTheFolderAndEachMediumsPage) {
    open();
    ASSERT_TRUE(tapFolder("cam1"));
    const int cam1 = manager->curDeviceIdx();
    swipe(+1);
    swipe(+1);
    ASSERT_EQ(grid->curPicPageIdx(), 2);

    ASSERT_TRUE(driver.pickSegment("segmentedImgVdoControl", 1)) << driver.lastError();
    EXPECT_EQ(manager->curViewMode(), 2);
    EXPECT_EQ(grid->imgvdo(), 1);
    EXPECT_EQ(grid->curRecordPageIdx(), 0);
    EXPECT_EQ(grid->scrollView()->contentOffset().x, 0);
    EXPECT_EQ(grid->views().size(), 12u);
    swipe(+1);
    ASSERT_EQ(grid->curRecordPageIdx(), 1);

    ASSERT_TRUE(driver.pickSegment("segmentedImgVdoControl", 0));
    EXPECT_EQ(manager->curViewMode(), 0);
    EXPECT_EQ(manager->curDeviceIdx(), cam1);
    EXPECT_EQ(grid->curPicPageIdx(), 2);
    EXPECT_EQ(grid->scrollView()->contentOffset().x, 2 * kWs);
    EXPECT_EQ(grid->pageControl()->currentPage(), 2);
    EXPECT_EQ(grid->locationAt(0), 18);

    ASSERT_TRUE(driver.pickSegment("segmentedImgVdoControl", 1));
    EXPECT_EQ(grid->scrollView()->contentOffset().x, kWs);
    EXPECT_EQ(grid->locationAt(0), 9);

    // A folder with fewer pages shows its last page.
    ASSERT_TRUE(tapFolder("cam3"));
    EXPECT_EQ(grid->curRecordPageIdx(), 0);
    EXPECT_EQ(grid->views().size(), 2u);
    EXPECT_NE(grid->views()[1].data(), nullptr);
}

TEST_F(FileMgmtControllerHDTest, LongPressTogglesEditModeAndLeavingReloadsTheFolders) {
    open();
    driver.longPressAt(itemCentre(2), 0.6);
    EXPECT_TRUE(manager->deviceListTable->isEditing());
    EXPECT_TRUE(grid->editable());
    EXPECT_NE(grid->views()[0]->viewWithName("deleteMark"), nullptr);
    EXPECT_NE(driver.find("cancelEditListBtn"), nullptr);
    EXPECT_EQ(driver.find("editListBtn"), nullptr);
    // While editing the medium cannot change.
    EXPECT_FALSE(driver.pickSegment("segmentedImgVdoControl", 1));
    EXPECT_EQ(manager->curViewMode(), 0);

    addPhotos("cam4", 1);
    driver.longPressAt(itemCentre(2), 0.6);
    EXPECT_FALSE(manager->deviceListTable->isEditing());
    EXPECT_FALSE(grid->editable());
    EXPECT_EQ(grid->views()[0]->viewWithName("deleteMark"), nullptr);
    EXPECT_NE(rowOf("cam4"), static_cast<int>(manager->allDeviceDirs().size()));
    EXPECT_TRUE(driver.pickSegment("segmentedImgVdoControl", 1));
    // The release of a long press opens nothing.
    EXPECT_EQ(manager->presentedViewController(), nullptr);

    // The edit button and the "COMP" button do the same.
    ASSERT_TRUE(driver.tap("editListBtn")) << driver.lastError();
    EXPECT_TRUE(grid->editable());
    ASSERT_TRUE(driver.tap("cancelEditListBtn")) << driver.lastError();
    EXPECT_FALSE(grid->editable());
    EXPECT_FALSE(manager->deviceListTable->isEditing());
}

TEST_F(FileMgmtControllerHDTest, AFolderTappedInEditModeShowsItsItemsWithDeleteMarks) {
    open();
    ASSERT_TRUE(driver.tap("editListBtn"));
    ASSERT_TRUE(tapFolder("cam2"));
    EXPECT_EQ(*grid->photos(), photosOf("cam2"));
    ASSERT_EQ(grid->views().size(), 3u);
    for (const auto& v : grid->views()) EXPECT_NE(v->viewWithName("deleteMark"), nullptr);
    shot("tablet_media_edit.png");
    EXPECT_TRUE(manager->deviceListTable->isEditing());

    // A delete mark removes the file for good.
    const QvFileItem first = (*grid->photos())[0];
    ASSERT_TRUE(driver.tapView(grid->views()[0]->viewWithName("deleteMark")));
    EXPECT_FALSE(fs::exists(first.fullPath()));
    EXPECT_EQ(grid->photos()->size(), 2u);
}

TEST_F(FileMgmtControllerHDTest, DeletingAFolderSelectsTheFirstRemainingOne) {
    open();
    ASSERT_TRUE(driver.tap("editListBtn"));
    ASSERT_TRUE(tapFolder("cam2"));
    // Not the selected folder, through the row's delete control and button.
    UITableViewCell* cell = manager->deviceListTable->cellForRowAtIndexPath(indexPathForRow(rowOf("cam3"), 0));
    ASSERT_TRUE(driver.tapView(cell->viewWithName("deleteControl"))) << driver.lastError();
    ASSERT_TRUE(driver.tapView(cell->viewWithName("deleteButton"))) << driver.lastError();
    EXPECT_FALSE(fs::exists(dir.path() + "/Data/Records/cam3"));
    EXPECT_EQ(manager->allDeviceDirs().size(), 2u);
    EXPECT_EQ(manager->curDeviceIdx(), 0);
    EXPECT_EQ(*grid->photos(), photosOf(manager->allDeviceDirs()[0]));
    EXPECT_TRUE(folderButton(0)->isSelected());

    // The selected folder.
    deleteFolder(manager->allDeviceDirs()[0]);
    ASSERT_EQ(manager->allDeviceDirs().size(), 1u);
    EXPECT_EQ(manager->curDeviceIdx(), 0);
    EXPECT_EQ(*grid->photos(), photosOf(manager->allDeviceDirs()[0]));
    EXPECT_EQ(grid->pageControl()->numberOfPages(), grid->numberOfPages());

    // The last one: an empty grid and no selection.
    deleteFolder(manager->allDeviceDirs()[0]);
    EXPECT_TRUE(manager->allDeviceDirs().empty());
    EXPECT_EQ(manager->curDeviceIdx(), -1);
    EXPECT_TRUE(grid->photos()->empty());
    EXPECT_TRUE(grid->videos()->empty());
    EXPECT_EQ(grid->numberOfPages(), 0);
    EXPECT_EQ(grid->pageControl()->numberOfPages(), 0);
    EXPECT_TRUE(grid->views().empty());
    ASSERT_TRUE(driver.tap("cancelEditListBtn"));
    EXPECT_EQ(manager->curDeviceIdx(), -1);
}

TEST_F(FileMgmtControllerHDTest, ItemsOpenTheViewerOrThePlayerOnTheSameList) {
    open();
    ASSERT_TRUE(tapFolder("cam1"));
    const auto photos = grid->photos();
    const long held = photos.use_count();
    driver.tapAt(itemCentre(4));
    driver.advance(0.5);
    auto* viewer = dynamic_cast<SingleImageViewControllerHD*>(manager->presentedViewController());
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(photos.use_count(), held + 1);  // the viewer keeps the grid's own list

    // A pinch that opens the fingers keeps the viewer; one that closes them closes it.
    double scale = 1.6;
    manager->singleImageViewControllerPinch(viewer, scale);
    EXPECT_EQ(scale, 1.0);
    EXPECT_EQ(manager->presentedViewController(), viewer);
    // What the viewer deleted is gone from the grid once it closed.
    const QvFileItem removed = (*photos)[4];
    fs::remove(removed.fullPath());
    photos->erase(photos->begin() + 4);
    scale = 0.7;
    manager->singleImageViewControllerPinch(viewer, scale);
    EXPECT_EQ(scale, 1.0);
    driver.advance(0.5);
    EXPECT_EQ(manager->presentedViewController(), nullptr);
    EXPECT_EQ(grid->photos()->size(), 19u);
    EXPECT_EQ(std::find(grid->photos()->begin(), grid->photos()->end(), removed), grid->photos()->end());
    EXPECT_EQ(manager->curDeviceIdx(), rowOf("cam1"));

    ASSERT_TRUE(driver.pickSegment("segmentedImgVdoControl", 1));
    const auto videos = grid->videos();
    const long videosHeld = videos.use_count();
    driver.tapAt(itemCentre(1));
    driver.advance(0.5);
    EXPECT_NE(dynamic_cast<SingleMediaPlayerControllerHD*>(manager->presentedViewController()), nullptr);
    EXPECT_EQ(videos.use_count(), videosHeld + 1);
    manager->presentedViewController()->dismissViewControllerAnimated(false);
    EXPECT_EQ(manager->curViewMode(), 2);
}

TEST_F(FileMgmtControllerHDTest, TheHomeButtonDismissesTheScreen) {
    open();
    ASSERT_TRUE(driver.tap("homeBtn")) << driver.lastError();
    driver.advance(0.5);
    EXPECT_EQ(home->presentedViewController(), nullptr);
}

TEST_F(FileMgmtControllerHDTest, WithoutFoldersTheGridIsEmpty) {
    for (const char* root : {"/Data/Photos", "/Data/Records"})
        for (const auto& e : fs::directory_iterator(dir.path() + root)) fs::remove_all(e.path());
    open();
    EXPECT_TRUE(manager->allDeviceDirs().empty());
    EXPECT_EQ(manager->curDeviceIdx(), -1);
    EXPECT_EQ(grid->numberOfPages(), 0);
    EXPECT_TRUE(grid->views().empty());
    driver.tapAt(itemCentre(0));
    EXPECT_EQ(manager->presentedViewController(), nullptr);
}

}  // namespace
