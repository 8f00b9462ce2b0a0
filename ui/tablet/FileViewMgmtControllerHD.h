#pragma once

#include <array>
#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/FileMgmtControllerHDDelegate.h"
#include "ui/tablet/ShotViewDelegate.h"
#include "ui/tablet/ShotViewHD.h"

namespace lumora {

// The photos or the recordings of one device folder as a horizontally paged
// grid of three by three items with a page indicator below. Item views are
// made only for the current page and its two neighbours; every other slot
// holds the empty marker (a null view) until its page is needed. A delete
// mark removes the file at once and closes the gap.
//
// The lists are shared with the viewers the media manager opens: a viewer
// that deletes a file removes its entry for the grid as well. A missing list
// counts as empty. Main thread only.
class FileViewMgmtControllerHD : public UIViewController, public UIScrollViewDelegate, public ShotViewDelegate {
public:
    using MediaList = std::shared_ptr<std::vector<QvFileItem>>;

    static constexpr int kColumns = 3;
    static constexpr int kRows = 3;
    static constexpr int kItemsPerPage = kColumns * kRows;
    static constexpr CGFloat kPageControlHeight = 30;
    static constexpr double kGapAnimation = 0.5;

    FileViewMgmtControllerHD();
    ~FileViewMgmtControllerHD() override;

    const MediaList& photos() const { return photos_; }
    void setPhotos(MediaList photos) { photos_ = std::move(photos); }
    const MediaList& videos() const { return videos_; }
    void setVideos(MediaList videos) { videos_ = std::move(videos); }
    FileMgmtControllerHDDelegate* delegate() const { return delegate_; }
    // Not owned.
    void setDelegate(FileMgmtControllerHDDelegate* delegate) { delegate_ = delegate; }

    int imgvdo() const { return imgvdo_; }
    bool editable() const { return editable_; }
    int curPicPageIdx() const { return curPicPageIdx_; }
    int curRecordPageIdx() const { return curRecordPageIdx_; }
    // One slot per entry of the current list: its view, or null (the empty marker).
    const std::vector<WeakView<ShotViewHD>>& views() const { return views_; }
    // The index in the current list shown at a grid position (0 to 8) of the page being shown.
    int locationAt(int position) const;
    UIScrollView* scrollView() const { return scrollView_.data(); }
    UIPageControl* pageControl() const { return pageControl_.data(); }
    int numberOfPages() const;
    // The frame of the item with an index on a page, in the scroll view.
    CGRect frameForIndex(int index, int page) const;

    // Rebuilds the grid for a medium (0 photos, else recordings) and an edit flag.
    void setLayoutType(int medium, bool editable);
    // Rebuilds the slots of the current list and loads the current page.
    void loadFiles();
    // Makes the missing item views of a page; toShow also gives them their grid positions.
    void loadScrollViewWithPage(int page, bool toShow);
    void changePage();
    // Closes the gap after the item at an index was deleted.
    void redrawScrollViewIfNeeded(int index);

    void loadView() override;

    // ---- UIScrollViewDelegate
    void scrollViewDidScroll(UIScrollView* scrollView) override;

    // ---- ShotViewDelegate
    void shotViewDeleteAtLayout(ShotViewHD* view, int layoutTag) override;
    void shotViewLongPress(ShotViewHD* view, RunLoopTimer* timer) override;
    void shotViewSingleTapped(ShotViewHD* view, UITapGestureRecognizer* recognizer) override;

private:
    // The list imgvdo selects (null when missing).
    std::vector<QvFileItem>* currentList() const;
    int currentCount() const;
    int& currentPage() { return imgvdo_ == 0 ? curPicPageIdx_ : curRecordPageIdx_; }
    CGFloat pageWidth() const;
    ShotViewHD* makeItemView(int index, const CGRect& frame);
    // Takes an item view off the grid for good; it hears nothing more.
    static void discard(ShotViewHD* view);

    MediaList photos_;
    MediaList videos_;
    FileMgmtControllerHDDelegate* delegate_ = nullptr;  // not owned
    int imgvdo_ = 0;
    bool editable_ = false;
    std::vector<WeakView<ShotViewHD>> views_;
    std::array<int, 20> locationQueue_{};
    int curPicPageIdx_ = 0;
    int curRecordPageIdx_ = 0;
    WeakView<UIPageControl> pageControl_;
    WeakView<UIScrollView> scrollView_;
};

}  // namespace lumora
