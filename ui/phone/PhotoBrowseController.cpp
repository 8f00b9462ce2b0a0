#include "ui/kit/WeakView.h"
#include "ui/phone/PhotoBrowseController.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/core/QvUtility.h"
#include "base/utilities/PhotoAlbum.h"
#include "platform/text/Localization.h"
#include "ui/common/QvToastView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {

// The photos in a strip under the navigation bar, the file's name just above
// the tool bar at the foot.
constexpr CGFloat kBarHeight = 44;
constexpr CGFloat kPhotoHeight = 320;

}  // namespace

PhotoBrowseController::PhotoBrowseController() = default;

PhotoBrowseController::~PhotoBrowseController() {
    if (photoScrollView_) photoScrollView_->delegate = nullptr;
}

void PhotoBrowseController::setPhotos(std::vector<QvFileItem> photos) {
    for (size_t i = 0; i < photoViews_.size(); ++i) unload(i);
    photos_ = std::move(photos);
    photoViews_.assign(photos_.size(), nullptr);
}

int PhotoBrowseController::loadedPageCount() const {
    return static_cast<int>(std::count_if(photoViews_.begin(), photoViews_.end(), [](const auto& v) { return !v.isNull(); }));
}

void PhotoBrowseController::loadView() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    const CGRect screen = UIScreen::mainScreen().bounds();
    auto* v = new UIView(screen);
    setViewName(v, "photoBrowseView");
    v->setBackgroundColor(UIColor::blackColor());
    auto* scroll = new UIScrollView(CGRectMake(0, kBarHeight, screen.size.width, kPhotoHeight));
    setViewName(scroll, "photoScrollView");
    scroll->setBackgroundColor(UIColor::blackColor());
    v->addSubview(scroll);
    photoScrollView_ = scroll;
    // Just above the tool bar, wherever the bottom of the screen is.
    auto* label = new UILabel(CGRectMake(0, screen.size.height - kBarHeight - 26, screen.size.width, 24));
    setViewName(label, "fileNameLabel");
    label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    label->setTextColor(UIColor::whiteColor());
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextAlignment(UITextAlignment::Center);
    v->addSubview(label);
    fileNameLabel_ = label;
    auto* bar = new UIToolbar(CGRectMake(0, screen.size.height - kBarHeight, screen.size.width, kBarHeight));
    setViewName(bar, "photoToolBar");
    bar->setBarStyle(UIBarStyle::Black);
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    saveButton_ = UIBarButtonItem::withTitle("", UIBarButtonItemStyle::Bordered,
                                             [this](UIBarButtonItem&) { saveCurrentImageToPhotoAlbum(); });
    auto del = UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Trash,
                                               [this](UIBarButtonItem&) { deleteCurrentImage(); });
    bar->setItems({saveButton_, del});
    v->addSubview(bar);
    photoToolBar_ = bar;
    setView(v);
}

void PhotoBrowseController::viewDidLoad() {
    if (saveButton_) saveButton_->title = Localization::string("SavetoPhoto");
    if (photoToolBar_) photoToolBar_->setItems(photoToolBar_->items());
    if (photoScrollView_) {
        photoScrollView_->setPagingEnabled(true);
        photoScrollView_->delegate = this;
    }
}

void PhotoBrowseController::viewDidAppear(bool) {
    if (!photoScrollView_) return;
    rcoriginal_ = photoScrollView_->frame();
    const int count = static_cast<int>(photos_.size());
    if (currentPage_ >= 0 && currentPage_ < count) {
        const CGFloat w = rcoriginal_.size.width;
        loadPhotos();
        photoScrollView_->setContentSize(CGSize{w * count, 0});
        photoScrollView_->setContentOffset(CGPoint{w * currentPage_, 0});
    }
}

void PhotoBrowseController::unload(size_t page) {
    if (page >= photoViews_.size() || !photoViews_[page]) return;
    photoViews_[page]->removeFromSuperview();
    delete photoViews_[page].data();
    photoViews_[page] = nullptr;
}

void PhotoBrowseController::refreshTitle() {
    const int count = static_cast<int>(photos_.size());
    if (currentPage_ < 0 || currentPage_ >= count) return;
    if (fileNameLabel_) fileNameLabel_->setText(photos_[currentPage_].name);
    char title[64];
    std::snprintf(title, sizeof title, "%d of %d", currentPage_ + 1, count);
    navigationItem().setTitle(title);
}

void PhotoBrowseController::loadPhotos() {
    if (currentPage_ < 0 || !photoScrollView_) return;
    const int count = static_cast<int>(photos_.size());
    if (count == 0) {
        if (fileNameLabel_) fileNameLabel_->setText("");
        navigationItem().setTitle("");
        return;
    }
    photoViews_.resize(photos_.size());
    const CGFloat w = photoScrollView_->bounds().size.width;
    const int c = currentPage_;
    const int first = std::max(0, c - 2), last = std::min(count, c + 2) - 1;
    for (int i = first; i <= last; ++i) {
        const CGRect frame = CGRectMake(w * i, 0, w, kPhotoHeight);
        if (!photoViews_[i]) {
            auto* page = new UIImageView(UIImage::imageWithContentsOfFile(photos_[i].fullPath()));
            setViewName(page, "photoPage" + std::to_string(i));
            page->setContentMode(UIViewContentMode::ScaleAspectFit);
            page->setUserInteractionEnabled(true);
            page->setFrame(frame);
            photoScrollView_->addSubview(page);
            photoViews_[i] = page;
        } else {
            photoViews_[i]->setFrame(frame);
        }
    }
    for (int i = 0; i < count; ++i)
        if (i < first || i >= c + 2) unload(i);
    refreshTitle();
}

void PhotoBrowseController::saveCurrentImageToPhotoAlbum() {
    if (currentPage_ < 0 || currentPage_ >= static_cast<int>(photos_.size())) return;
    const std::string path = photos_[currentPage_].fullPath();
    if (!UIImage::imageWithContentsOfFile(path)) return;
    if (!PhotoAlbum::writeImageFileToSavedPhotosAlbum(path)) return;
    auto* toast = new QvToastView(Localization::string("Saved"));
    toast->presentToastView(view());
}

void PhotoBrowseController::deleteCurrentImage() {
    const int count = static_cast<int>(photos_.size());
    if (currentPage_ < 0 || currentPage_ >= count || !photoScrollView_) return;
    std::error_code ec;
    if (!std::filesystem::remove(photos_[currentPage_].fullPath(), ec) || ec) {
        // The photo stays; the user learns why it did not go.
        QvUtility::showAlert(Localization::string("DeleteFailed"), Localization::string("DeleteFailedDetail"));
        return;
    }
    photos_.erase(photos_.begin() + currentPage_);
    unload(currentPage_);
    photoViews_.erase(photoViews_.begin() + currentPage_);
    if (photos_.empty()) {
        if (auto* nav = navigationController()) nav->popViewControllerAnimated(true);
        return;
    }
    const CGFloat w = photoScrollView_->bounds().size.width;
    const CGFloat h = photoScrollView_->bounds().size.height;
    const int n = static_cast<int>(photos_.size());
    if (currentPage_ < n) {
        std::vector<WeakView<UIImageView>> moved(photoViews_.begin() + currentPage_, photoViews_.end());
        const int from = currentPage_;
        WeakView<UIScrollView> scroll = photoScrollView_.data();
        UIViewAnimation::animateWithDuration(0.5, [moved, from, w, h] {
            for (size_t k = 0; k < moved.size(); ++k)
                if (moved[k]) moved[k]->setFrame(CGRectMake(w * (from + static_cast<int>(k)), 0, w, h));
        }, [this, scroll](bool) {
            if (!scroll) return;
            loadPhotos();
            scroll->setContentSize(CGSize{scroll->bounds().size.width * photos_.size(), 0});
        });
        return;
    }
    photoScrollView_->setContentOffset(CGPoint{w * (currentPage_ - 1), 0}, true);
    currentPage_ -= 1;
    loadPhotos();
}

void PhotoBrowseController::didRotateFromInterfaceOrientation(UIInterfaceOrientation) {
    if (!photoScrollView_) return;
    photoScrollView_->setFrame(view()->frame());
    const CGFloat w = view()->bounds().size.width;
    photoScrollView_->setContentSize(CGSize{w * photos_.size(), 0});
    loadPhotos();
    photoScrollView_->setContentOffset(CGPoint{w * std::max(0, currentPage_), 0});
    const bool portrait = UIInterfaceOrientationIsPortrait(UIApplication::sharedApplication().statusBarOrientation());
    if (auto* nav = navigationController()) nav->setNavigationBarHidden(!portrait, portrait);
    if (photoToolBar_) photoToolBar_->setHidden(!portrait);
}

void PhotoBrowseController::scrollViewDidEndDecelerating(UIScrollView* scrollView) {
    const CGFloat w = scrollView->bounds().size.width;
    if (w > 0) {
        const int page = static_cast<int>(scrollView->contentOffset().x / w);
        if (page >= 0 && page < static_cast<int>(photos_.size()) && page != currentPage_) {
            currentPage_ = page;
            loadPhotos();
        }
    }
    refreshTitle();
}

void PhotoBrowseController::scrollViewDidEndDragging(UIScrollView*, bool willDecelerate) {
    if (!willDecelerate) refreshTitle();
}

void PhotoBrowseController::scrollViewDidEndScrollingAnimation(UIScrollView* scrollView) {
    scrollView->setContentSize(CGSize{scrollView->bounds().size.width * photos_.size(), 0});
}

}  // namespace lumora
