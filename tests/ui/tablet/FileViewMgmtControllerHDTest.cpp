#include "ui/tablet/FileViewMgmtControllerHD.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "MediaFoldersFixture.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

struct GridLog : FileMgmtControllerHDDelegate {
    std::vector<int> shown, played;
    std::vector<bool> longPresses;
    void longPressedCatchedInFileViewController(FileViewMgmtControllerHD*, bool editable) override {
        longPresses.push_back(editable);
    }
    void showTappedImageForIndex(int index) override { shown.push_back(index); }
    void playTappedVideoForIndex(int index) override { played.push_back(index); }
};

// The grid alone at the size the media manager gives it (762 x 710 points:
// cells of 254 x 230, pages 762 wide), on the photos of one folder.
class FileViewMgmtControllerHDTest : public test::MediaFoldersFixture {
protected:
    static constexpr CGFloat kWs = 762;

    void open(int photos, int records = 0, bool editable = false, int medium = 0) {
        addPhotos("cam1", photos);
        if (records > 0) addRecords("cam1", records);
        auto& files = FileManager::sharedInstance();
        grid = std::make_shared<FileViewMgmtControllerHD>();
        home->view()->addSubview(grid->view());
        grid->view()->setFrame(CGRectMake(0, 58, kWs, 710));
        grid->setDelegate(&log);
        grid->setPhotos(std::make_shared<std::vector<QvFileItem>>(files.getAllPhotosForDevice("cam1")));
        grid->setVideos(std::make_shared<std::vector<QvFileItem>>(files.getAllRecordsForDevice("cam1")));
        grid->setLayoutType(medium, editable);
        driver.settle();
    }
    void TearDown() override {
        if (grid) grid->setDelegate(nullptr);
    }

    std::vector<QvFileItem>& list() { return grid->imgvdo() == 0 ? *grid->photos() : *grid->videos(); }
    // Pages whose item views exist; each page is either complete or has none.
    std::set<int> madePages() {
        std::set<int> pages;
        const auto& views = grid->views();
        for (size_t i = 0; i < views.size(); i += 9) {
            size_t made = 0, end = std::min(views.size(), i + 9);
            for (size_t j = i; j < end; ++j) made += views[j] ? 1 : 0;
            EXPECT_TRUE(made == 0 || made == end - i) << "page " << i / 9 << " made " << made;
            if (made) pages.insert(static_cast<int>(i / 9));
        }
        return pages;
    }
    ShotViewHD* at(int index) { return grid->views()[static_cast<size_t>(index)].data(); }
    CGPoint centreOfPosition(int position) {
        CGRect f = grid->frameForIndex(position, 0);
        return grid->view()->pointInWindow(CGPoint{CGRectGetMidX(f), CGRectGetMidY(f)});
    }
    // A swipe of two thirds of a page to the next (+1) or the previous (-1) page.
    void swipe(int direction) {
        const CGFloat y = 300, from = direction > 0 ? 650 : 110, to = direction > 0 ? 110 : 650;
        driver.drag(grid->view()->pointInWindow(CGPoint{from, y}), grid->view()->pointInWindow(CGPoint{to, y}), 12);
        driver.advance(0.1);
    }

    GridLog log;
    std::shared_ptr<FileViewMgmtControllerHD> grid;
};

TEST_F(FileViewMgmtControllerHDTest, PagesHoldNineItemsAndTheLastPageTheRest) {
    struct Case {
        int items, pages;
    } cases[] = {{0, 0}, {1, 1}, {9, 1}, {10, 2}, {27, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items);
        if (grid) grid->view()->removeFromSuperview();
        fs::remove_all(dir.path() + "/Data/Photos/cam1");
        open(c.items);
        EXPECT_EQ(grid->numberOfPages(), c.pages);
        EXPECT_EQ(grid->pageControl()->numberOfPages(), c.pages);
        EXPECT_EQ(grid->scrollView()->contentSize().width, c.pages * kWs);
        EXPECT_EQ(grid->views().size(), static_cast<size_t>(c.items));
    }
    // Ten items: the tenth alone at the first position of the second page.
    ShotViewHD* tenth = at(9);
    ASSERT_NE(tenth, nullptr);
    fs::remove_all(dir.path() + "/Data/Photos/cam1");
    grid->view()->removeFromSuperview();
    open(10);
    tenth = at(9);
    ASSERT_NE(tenth, nullptr);
    EXPECT_EQ(tenth->frame(), CGRectMake(kWs, 0, 254, 230));
    EXPECT_EQ(at(4)->frame(), CGRectMake(254, 230, 254, 230));
    EXPECT_EQ(at(8)->frame(), CGRectMake(508, 460, 254, 230));
    // The first page is shown: its items know their positions, the neighbour's do not.
    EXPECT_EQ(at(4)->layoutTag(), 4);
    EXPECT_EQ(tenth->layoutTag(), -1);
}

TEST_F(FileViewMgmtControllerHDTest, OnlyTheCurrentPageAndItsNeighboursAreMade) {
    open(40);  // pages 0..4, the last with four items
    EXPECT_EQ(madePages(), (std::set<int>{0, 1}));
    swipe(+1);
    EXPECT_EQ(grid->curPicPageIdx(), 1);
    EXPECT_EQ(grid->scrollView()->contentOffset().x, kWs);
    EXPECT_EQ(madePages(), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(grid->locationAt(0), 9);
    EXPECT_EQ(at(9)->layoutTag(), 0);
    EXPECT_EQ(at(0)->layoutTag(), -1);
    swipe(+1);
    swipe(+1);
    EXPECT_EQ(grid->curPicPageIdx(), 3);
    EXPECT_EQ(grid->pageControl()->currentPage(), 3);
    // Pages already made keep their views; the last page came in as a neighbour.
    EXPECT_EQ(madePages(), (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(at(36)->layoutTag(), -1);
    swipe(-1);
    EXPECT_EQ(grid->curPicPageIdx(), 2);
    EXPECT_EQ(grid->locationAt(8), 26);
}

TEST_F(FileViewMgmtControllerHDTest, ThePageChangesWhenTheOffsetPassesHalfAPage) {
    open(20);
    UIScrollView* s = grid->scrollView();
    s->setContentOffset(CGPoint{kWs / 2 - 0.5, 0});
    EXPECT_EQ(grid->curPicPageIdx(), 0);
    s->setContentOffset(CGPoint{kWs / 2, 0});
    EXPECT_EQ(grid->curPicPageIdx(), 1);
    EXPECT_EQ(grid->pageControl()->currentPage(), 1);
    s->setContentOffset(CGPoint{kWs * 1.5 - 0.5, 0});
    EXPECT_EQ(grid->curPicPageIdx(), 1);
    s->setContentOffset(CGPoint{kWs * 1.5, 0});
    EXPECT_EQ(grid->curPicPageIdx(), 2);
}

TEST_F(FileViewMgmtControllerHDTest, TapsOpenTheItemOfTheirPositionExceptInEditMode) {
    open(12, 3);
    driver.tapAt(centreOfPosition(4));
    swipe(+1);
    driver.tapAt(centreOfPosition(0));
    driver.tapAt(centreOfPosition(5));  // no item there
    EXPECT_EQ(log.shown, (std::vector<int>{4, 9}));

    grid->setLayoutType(1, false);
    driver.tapAt(centreOfPosition(2));
    EXPECT_EQ(log.played, (std::vector<int>{2}));

    grid->setLayoutType(0, true);
    driver.tapAt(centreOfPosition(1));
    EXPECT_EQ(log.shown.size(), 2u);
}

TEST_F(FileViewMgmtControllerHDTest, LongPressNeedsHalfASecondAndFewerThanFourMoves) {
    open(5);
    const CGPoint p = centreOfPosition(1);
    driver.press(p);
    driver.advance(0.4);
    EXPECT_TRUE(log.longPresses.empty());
    driver.advance(0.2);
    EXPECT_EQ(log.longPresses, (std::vector<bool>{false}));
    driver.release(p);
    // The release that ends a long press opens nothing.
    EXPECT_TRUE(log.shown.empty());

    // Four small moves end the wait.
    driver.press(p);
    for (int i = 1; i <= 4; ++i) driver.moveTo(CGPoint{p.x + i, p.y});
    driver.advance(1);
    driver.release(CGPoint{p.x + 4, p.y});
    EXPECT_EQ(log.longPresses.size(), 1u);

    grid->setLayoutType(0, true);
    driver.longPressAt(p, 0.6);
    EXPECT_EQ(log.longPresses, (std::vector<bool>{false, true}));
}

TEST_F(FileViewMgmtControllerHDTest, DeleteClosesTheGapWithTheNextPagesFirstItem) {
    open(20, 0, true);
    std::vector<ShotViewHD*> before;
    for (int i = 0; i < 20; ++i) before.push_back(at(i));
    const QvFileItem gone = list()[3];
    auto* mark = at(3)->viewWithName("deleteMark");
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->frame(), CGRectMake(254 - 45, 10, 35, 35));
    ASSERT_TRUE(driver.tapView(mark)) << driver.lastError();
    EXPECT_FALSE(fs::exists(gone.fullPath()));
    ASSERT_EQ(list().size(), 19u);
    ASSERT_EQ(grid->views().size(), 19u);
    EXPECT_EQ(std::find(list().begin(), list().end(), gone), list().end());
    for (int j = 0; j < 9; ++j) {
        SCOPED_TRACE(j);
        ShotViewHD* v = at(j);
        EXPECT_EQ(v, before[static_cast<size_t>(j < 3 ? j : j + 1)]);
        EXPECT_EQ(v->frame(), grid->frameForIndex(j, 0));
        EXPECT_EQ(v->layoutTag(), j);
        EXPECT_EQ(grid->locationAt(j), j);
        EXPECT_EQ(v->mediaItem(), list()[static_cast<size_t>(j)]);
    }
    driver.advance(FileViewMgmtControllerHD::kGapAnimation);

    // The next page's items take their places when it is shown, none on top of another.
    swipe(+1);
    std::set<std::pair<double, double>> origins;
    for (int j = 9; j < 18; ++j) {
        ShotViewHD* v = at(j);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->frame(), grid->frameForIndex(j, 1));
        origins.insert({v->frame().origin.x, v->frame().origin.y});
    }
    EXPECT_EQ(origins.size(), 9u);
}

TEST_F(FileViewMgmtControllerHDTest, DeletingTheOnlyItemOfTheLastPageDropsThePage) {
    open(10, 0, true);
    swipe(+1);
    ASSERT_EQ(grid->curPicPageIdx(), 1);
    ASSERT_TRUE(driver.tapView(at(9)->viewWithName("deleteMark")));
    EXPECT_EQ(list().size(), 9u);
    EXPECT_EQ(grid->pageControl()->numberOfPages(), 1);
    EXPECT_EQ(grid->scrollView()->contentOffset().x, 0);
    EXPECT_EQ(grid->scrollView()->contentSize().width, kWs);
    EXPECT_EQ(grid->curPicPageIdx(), 0);
    EXPECT_EQ(at(8)->layoutTag(), 8);
}

// Repeated deletions without scrolling pull items of a page that was never
// made into the page shown: the gap is closed with views made for them,
// never by taking the empty marker for a view.
TEST_F(FileViewMgmtControllerHDTest, RepeatedDeletionsFillThePageFromPagesNeverMade) {
    open(30, 0, true);
    ASSERT_EQ(madePages(), (std::set<int>{0, 1}));
    for (int k = 0; k < 12; ++k) {
        SCOPED_TRACE(k);
        ShotViewHD* first = at(0);
        ASSERT_NE(first, nullptr);
        ASSERT_TRUE(driver.tapView(first->viewWithName("deleteMark"))) << driver.lastError();
        ASSERT_EQ(list().size(), 29u - k);
        driver.advance(0.1);
    }
    driver.advance(1);
    ASSERT_EQ(list().size(), 18u);
    for (int j = 0; j < 9; ++j) {
        SCOPED_TRACE(j);
        ShotViewHD* v = at(j);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->layoutTag(), j);
        EXPECT_EQ(v->frame(), grid->frameForIndex(j, 0));
        EXPECT_EQ(v->mediaItem(), list()[static_cast<size_t>(j)]);
    }
    EXPECT_EQ(grid->pageControl()->numberOfPages(), 2);
    driver.tapAt(centreOfPosition(8));
    EXPECT_TRUE(log.shown.empty());  // edit mode
}

TEST_F(FileViewMgmtControllerHDTest, AFileThatCannotBeRemovedStays) {
    open(3, 0, true);
    // A folder with content under a photo's name cannot be removed as a file.
    const std::string channel = list()[0].path;
    fs::create_directories(channel + "stuck.png/inner");
    grid->setPhotos(std::make_shared<std::vector<QvFileItem>>(FileManager::sharedInstance().getAllPhotosForDevice("cam1")));
    grid->setLayoutType(0, true);
    ASSERT_EQ(list().size(), 4u);
    const int stuck = static_cast<int>(std::find_if(list().begin(), list().end(),
                                                    [](const QvFileItem& f) { return f.name == "stuck.png"; }) -
                                       list().begin());
    ShotViewHD* v = at(stuck);
    ASSERT_TRUE(driver.tapView(v->viewWithName("deleteMark")));
    EXPECT_TRUE(fs::exists(channel + "stuck.png/inner"));
    EXPECT_EQ(list().size(), 4u);
    EXPECT_EQ(at(stuck), v);
    EXPECT_EQ(v->layoutTag(), stuck);
}

TEST_F(FileViewMgmtControllerHDTest, ItemsShowTheirPictureNameAndCaption) {
    open(2, 2, false, 1);
    ShotViewHD* record = at(0);
    ASSERT_NE(record, nullptr);
    auto* thumb = dynamic_cast<UIImageView*>(record->viewWithTag(ShotViewHD::kThumbnailTag));
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->frame(), CGRectMake(10, 10, 234, 185));
    EXPECT_EQ(thumb->image(), nullptr);
    // The play mark lies over the middle of the blank thumbnail.
    auto* play = record->viewWithName("playMark");
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->frame(), CGRectMake(117 / 2.0 + 10, 97.5 / 2 + 10, 117, 97.5));
    EXPECT_EQ(dynamic_cast<UILabel*>(record->viewWithName("captionLabel"))->text(),
              "device:cam1   channel:01   size:2k");
    EXPECT_EQ(record->viewWithName("deleteMark"), nullptr);

    grid->setLayoutType(0, false);
    ShotViewHD* photo = at(1);
    thumb = dynamic_cast<UIImageView*>(photo->viewWithTag(ShotViewHD::kThumbnailTag));
    ASSERT_NE(thumb->image(), nullptr);
    EXPECT_EQ(photo->viewWithName("playMark"), nullptr);
    EXPECT_EQ(dynamic_cast<UILabel*>(photo->viewWithName("nameLabel"))->text(), list()[1].name);
    // The picture fills the thumbnail's width (64 x 48 scaled to fit 234 x 185).
    const CGPoint mid = thumb->pointInWindow(CGPoint{117, 92});
    const uint32_t rgba = driver.pixel(static_cast<int>(mid.x), static_cast<int>(mid.y));
    EXPECT_EQ((rgba >> 16) & 0xff, 90u);  // green
}

}  // namespace
