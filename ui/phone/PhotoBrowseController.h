#pragma once

#include <QPointer>
#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIToolbar.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class UIBarButtonItem;

// The snapshots of one device folder, one page per photo with horizontal
// paging; at most four pages are loaded around the current one. Saves the
// shown photo to the photo album and deletes it.
class PhotoBrowseController : public UIViewController, public UIScrollViewDelegate {
public:
    PhotoBrowseController();
    ~PhotoBrowseController() override;

    std::vector<QvFileItem>& photos() { return photos_; }
    void setPhotos(std::vector<QvFileItem> photos);
    int currentPage() const { return currentPage_; }
    void setCurrentPage(int page) { currentPage_ = page; }
    // One entry per photo: the page's view, or null while not loaded.
    const std::vector<QPointer<UIImageView>>& photoViews() const { return photoViews_; }
    int loadedPageCount() const;

    UIScrollView* photoScrollView() const { return photoScrollView_.data(); }
    UILabel* fileNameLabel() const { return fileNameLabel_.data(); }

    void loadPhotos();
    void saveCurrentImageToPhotoAlbum();
    void deleteCurrentImage();

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override {
        return orientation != UIInterfaceOrientation::PortraitUpsideDown;
    }

    void scrollViewDidEndDecelerating(UIScrollView* scrollView) override;
    void scrollViewDidEndDragging(UIScrollView* scrollView, bool willDecelerate) override;
    void scrollViewDidEndScrollingAnimation(UIScrollView* scrollView) override;

private:
    void refreshTitle();
    void unload(size_t page);

    std::vector<QvFileItem> photos_;
    std::vector<QPointer<UIImageView>> photoViews_;
    int currentPage_ = -1;
    CGRect rcoriginal_{};
    QPointer<UIScrollView> photoScrollView_;
    QPointer<UILabel> fileNameLabel_;
    QPointer<UIToolbar> photoToolBar_;
    std::shared_ptr<UIBarButtonItem> saveButton_;
};

}  // namespace lumora
