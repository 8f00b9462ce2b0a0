#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"

namespace lumora {

class SingleImageViewControllerDelegate;

// The tablet's viewer of the snapshots of one device folder: one photo per
// page, full width, with a toolbar (back, "n of m", save to the album,
// delete) and a page indicator. A tap on the picture toggles a full-screen
// layout without toolbar and page indicator. Only the current photo and its
// two neighbours are loaded. The photo list is shared with the media grid:
// a delete here removes the entry there too. Landscape only.
class SingleImageViewControllerHD : public UIViewController, public UIScrollViewDelegate {
public:
    static constexpr CGFloat kToolbarHeight = 58;
    static constexpr CGFloat kPageControlHeight = 15;
    static constexpr double kFullScreenAnimation = 1.0;
    static constexpr double kDeleteAnimation = 0.3;

    SingleImageViewControllerHD();
    ~SingleImageViewControllerHD() override;

    void setPhotos(std::shared_ptr<std::vector<QvFileItem>> photos);
    std::shared_ptr<std::vector<QvFileItem>> photos() const;
    // Lays out one page per photo and shows the photo at `index`.
    void loadPhotos(int index);
    void setDelegate(SingleImageViewControllerDelegate* d);  // Not owned.
    SingleImageViewControllerDelegate* delegate() const { return delegate_; }

    // ---- the picture cache
    // Loads page p's picture into its slot unless loaded or out of range.
    void loadScrollViewWithPage(int page);
    // Releases pictures two or more pages away, loads p - 1, p and p + 1.
    void loadBuffImageForPage(int page);
    // Releases p - 1 and p + 1 (and p itself when deleteCenter).
    void clearBuffImageFOrPage(int page, bool deleteCenter);
    void scrollToRightWindow();
    // Loads the page control's page with its neighbours and scrolls there (offered, not wired).
    void changePage();

    // ---- actions
    void returnToMediaList();
    void saveToAlbum();
    void deleteImage();
    void scrollTapped();

    // ---- state, for the media manager and tests
    int currentPage() const;
    bool isFullScreenMode() const { return fullScreenMode_; }
    // One slot per photo: the picture's view while loaded, else null.
    const std::vector<WeakView<UIImageView>>& imageViews() const { return imageViews_; }
    int loadedPageCount() const;
    UIScrollView* scrollView() const { return scrollView_.data(); }
    UIPageControl* pageControl() const { return pageControl_.data(); }
    UILabel* indicatorLabel() const { return indicatorLabel_.data(); }
    UIImageView* toolBarBgView() const { return toolBarBgView_.data(); }

    // UIViewController
    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // UIScrollViewDelegate
    void scrollViewDidScroll(UIScrollView* scrollView) override;
    void scrollViewDidEndDecelerating(UIScrollView*) override {}

private:
    int photoCount() const;
    std::string photoPath(int page) const;
    void releaseSlot(int slot);
    void showIndicator(int page);

    std::shared_ptr<std::vector<QvFileItem>> photos_;
    std::vector<WeakView<UIImageView>> imageViews_;
    WeakView<UIScrollView> scrollView_;
    WeakView<UIPageControl> pageControl_;
    WeakView<UILabel> indicatorLabel_;
    WeakView<UIImageView> toolBarBgView_;
    bool fullScreenMode_ = false;
    SingleImageViewControllerDelegate* delegate_ = nullptr;  // Not owned.
};

}  // namespace lumora
