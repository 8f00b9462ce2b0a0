#include "ui/tablet/SingleImageViewControllerHD.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/utilities/PhotoAlbum.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UITapGestureRecognizer.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/tablet/MediaActionBarHD.h"
#include "ui/tablet/SingleImageViewControllerDelegate.h"

namespace lumora {

namespace {

// Each picture keeps a point clear on both sides of its page.
constexpr CGFloat kPictureInset = 1;

}  // namespace

SingleImageViewControllerHD::SingleImageViewControllerHD() = default;

SingleImageViewControllerHD::~SingleImageViewControllerHD() {
    if (scrollView_) scrollView_->delegate = nullptr;
    // The indicator belongs to the toolbar once shown; before that it is ours.
    if (indicatorLabel_ && !indicatorLabel_->superview()) delete indicatorLabel_.data();
}

void SingleImageViewControllerHD::setPhotos(std::shared_ptr<std::vector<QvFileItem>> photos) {
    photos_ = std::move(photos);
}

std::shared_ptr<std::vector<QvFileItem>> SingleImageViewControllerHD::photos() const { return photos_; }

void SingleImageViewControllerHD::setDelegate(SingleImageViewControllerDelegate* d) { delegate_ = d; }

int SingleImageViewControllerHD::photoCount() const { return photos_ ? static_cast<int>(photos_->size()) : 0; }

std::string SingleImageViewControllerHD::photoPath(int page) const {
    if (page < 0 || page >= photoCount()) return {};
    return (*photos_)[static_cast<size_t>(page)].fullPath();
}

int SingleImageViewControllerHD::currentPage() const { return pageControl_ ? pageControl_->currentPage() : 0; }

int SingleImageViewControllerHD::loadedPageCount() const {
    return static_cast<int>(std::count_if(imageViews_.begin(), imageViews_.end(), [](const auto& v) { return !v.isNull(); }));
}

bool SingleImageViewControllerHD::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return UIInterfaceOrientationIsLandscape(orientation);
}

void SingleImageViewControllerHD::loadView() {
    auto* v = new UIView(MediaActionBarHD::viewFrame(*this));
    setViewName(v, "singleImageView");
    v->setBackgroundColor(UIColor::blackColor());

    toolBarBgView_ = MediaActionBarHD::makeBackground(v->frame().size.width);
    v->addSubview(toolBarBgView_);

    auto* scroll = new UIScrollView(CGRectZero);
    setViewName(scroll, "scrollView");
    scroll->setPagingEnabled(true);
    scroll->showsHorizontalScrollIndicator = true;
    scroll->delegate = this;
    auto tap = std::make_shared<UITapGestureRecognizer>();
    tap->numberOfTapsRequired = 1;
    tap->numberOfTouchesRequired = 1;
    std::weak_ptr<UIViewController> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<SingleImageViewControllerHD>(weak.lock()); };
    tap->addTarget(this, [self](UIGestureRecognizer&) {
        if (auto viewer = self()) viewer->scrollTapped();
    });
    scroll->addGestureRecognizer(tap);
    v->addSubview(scroll);
    scrollView_ = scroll;

    auto* pages = new UIPageControl(CGRectZero);
    setViewName(pages, "pageControl");
    pages->setHidden(true);
    // A tap on the dots moves the pictures too, so that the page the
    // actions work on is always the page on screen.
    pages->addTarget(this, [self](UIControl*, UIEvent*) {
        if (auto viewer = self()) viewer->changePage();
    }, UIControlEventValueChanged);
    v->addSubview(pages);
    pageControl_ = pages;

    auto* label = new UILabel(CGRectMake(0, 0, 100, MediaActionBarHD::kHeight));
    setViewName(label, "indicatorLabel");
    label->setTextColor(UIColor::whiteColor());
    label->setFont(UIFont::boldSystemFontOfSize(25));
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextAlignment(UITextAlignment::Center);
    indicatorLabel_ = label;
    setView(v);
}

void SingleImageViewControllerHD::viewWillAppear(bool) {
    // The view stays black rather than clear: the presenting screen's view
    // stays in the window below a presented one here.
    UIView* v = view();
    if (!toolBarBgView_) return;
    toolBarBgView_->setFrame(CGRectMake(0, 0, v->frame().size.width, kToolbarHeight));
    MediaActionBarHD::installToolbar(
        toolBarBgView_, indicatorLabel_,
        MediaActionBarHD::actionsOf(*this, &SingleImageViewControllerHD::returnToMediaList,
                                    &SingleImageViewControllerHD::saveToAlbum, &SingleImageViewControllerHD::deleteImage));
    // Bottom to top: toolbar background, pictures, page indicator.
    v->sendSubviewToBack(toolBarBgView_);
    if (pageControl_) v->bringSubviewToFront(pageControl_);
}

void SingleImageViewControllerHD::showIndicator(int page) {
    if (!indicatorLabel_) return;
    if (photoCount() == 0) {
        indicatorLabel_->setText("");
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d of %d", page + 1, photoCount());
    indicatorLabel_->setText(text);
}

void SingleImageViewControllerHD::loadPhotos(int index) {
    UIView* v = view();
    if (!scrollView_ || !pageControl_) return;
    const int count = photoCount();
    const CGFloat w = v->frame().size.width, h = v->frame().size.height;
    pageControl_->setNumberOfPages(count);
    pageControl_->setCurrentPage(std::clamp(index, 0, std::max(0, count - 1)));
    for (size_t i = 0; i < imageViews_.size(); ++i) releaseSlot(static_cast<int>(i));
    imageViews_.assign(static_cast<size_t>(count), nullptr);
    scrollView_->setFrame(CGRectMake(0, kToolbarHeight, w, h - kToolbarHeight - kPageControlHeight));
    scrollView_->setContentSize(CGSize{w * count, scrollView_->frame().size.height});
    loadBuffImageForPage(currentPage());
    scrollToRightWindow();
    showIndicator(currentPage());
    pageControl_->setFrame(CGRectMake(0, scrollView_->frame().size.height + kToolbarHeight, w, kPageControlHeight));
    pageControl_->setHidden(false);
}

void SingleImageViewControllerHD::scrollToRightWindow() {
    if (!scrollView_) return;
    scrollView_->setContentOffset(CGPoint{scrollView_->frame().size.width * currentPage(), 0}, false);
}

void SingleImageViewControllerHD::releaseSlot(int slot) {
    if (slot < 0 || slot >= static_cast<int>(imageViews_.size())) return;
    auto& view = imageViews_[static_cast<size_t>(slot)];
    if (!view) return;
    if (view->superview()) view->removeFromSuperview();
    delete view.data();
    view = nullptr;
}

void SingleImageViewControllerHD::loadScrollViewWithPage(int page) {
    if (page < 0 || page >= static_cast<int>(imageViews_.size()) || imageViews_[static_cast<size_t>(page)]) return;
    if (!scrollView_) return;
    const CGFloat ws = scrollView_->frame().size.width, hs = scrollView_->frame().size.height;
    // A file that cannot be read leaves the page empty.
    auto* picture = new UIImageView(UIImage::imageWithContentsOfFile(photoPath(page)));
    setViewName(picture, "photoView");
    picture->setContentMode(UIViewContentMode::ScaleAspectFit);
    picture->setFrame(CGRectMake(page * ws + kPictureInset, 0, ws - 2 * kPictureInset, hs));
    scrollView_->addSubview(picture);
    imageViews_[static_cast<size_t>(page)] = picture;
}

void SingleImageViewControllerHD::loadBuffImageForPage(int page) {
    // Pictures two pages away go. Paging moves one page at a time, so that
    // is every picture outside the page and its neighbours; a jump further
    // (the page control) is covered as well.
    for (int slot = 0; slot < static_cast<int>(imageViews_.size()); ++slot)
        if (slot < page - 1 || slot > page + 1) releaseSlot(slot);
    loadScrollViewWithPage(page - 1);
    loadScrollViewWithPage(page);
    loadScrollViewWithPage(page + 1);
}

void SingleImageViewControllerHD::clearBuffImageFOrPage(int page, bool deleteCenter) {
    if (page - 1 >= static_cast<int>(imageViews_.size())) return;
    releaseSlot(page - 1);
    if (deleteCenter) releaseSlot(page);
    releaseSlot(page + 1);
}

void SingleImageViewControllerHD::changePage() {
    if (!scrollView_) return;
    const int page = currentPage();
    loadBuffImageForPage(page);
    const CGRect f = scrollView_->frame();
    scrollView_->scrollRectToVisible(CGRectMake(page * f.size.width, 0, f.size.width, f.size.height), true);
}

void SingleImageViewControllerHD::scrollViewDidScroll(UIScrollView* scroll) {
    if (!scroll || !pageControl_) return;
    const CGFloat ws = scroll->frame().size.width;
    const int count = photoCount();
    if (ws <= 0 || count == 0) return;
    int page = static_cast<int>(std::floor((scroll->contentOffset().x - ws / 2) / ws)) + 1;
    // A bounce past either end stays on the end page.
    page = std::clamp(page, 0, count - 1);
    pageControl_->setCurrentPage(page);
    loadBuffImageForPage(page);
    showIndicator(page);
}

void SingleImageViewControllerHD::scrollTapped() {
    UIView* v = viewIfLoaded();
    if (!v || !scrollView_ || !pageControl_ || !toolBarBgView_) return;
    fullScreenMode_ = !fullScreenMode_;
    const bool full = fullScreenMode_;
    // Laid out from the view's own size: a 1024 x 748 view gets the
    // classic landscape figures (a 675-point picture area below the bar).
    const CGFloat w = v->frame().size.width, h = v->frame().size.height;
    const int page = currentPage();
    UIViewAnimation::animateWithDuration(kFullScreenAnimation, [&] {
        toolBarBgView_->setFrame(CGRectMake(0, full ? -kToolbarHeight : 0, w, kToolbarHeight));
        scrollView_->setFrame(full ? CGRectMake(0, 0, w, h)
                                   : CGRectMake(0, kToolbarHeight, w, h - kToolbarHeight - kPageControlHeight));
        const CGFloat hs = scrollView_->frame().size.height;
        scrollView_->setContentSize(CGSize{photoCount() * w, hs});
        pageControl_->setFrame(
            CGRectMake(0, hs + (full ? kToolbarHeight + kPageControlHeight : kToolbarHeight), w, kPageControlHeight));
        clearBuffImageFOrPage(page, false);
        if (page >= 0 && page < static_cast<int>(imageViews_.size()))
            if (auto& current = imageViews_[static_cast<size_t>(page)])
                current->setFrame(CGRectMake(page * w + kPictureInset, 0, w - 2 * kPictureInset, hs));
        loadBuffImageForPage(page);
    });
}

void SingleImageViewControllerHD::returnToMediaList() { dismissViewControllerAnimated(true); }

void SingleImageViewControllerHD::saveToAlbum() {
    const int page = currentPage();
    if (page < 0 || page >= photoCount()) return;
    const std::string path = photoPath(page);
    if (!UIImage::imageWithContentsOfFile(path)) return;
    // "Saved" only for a picture the album took on.
    if (!PhotoAlbum::writeImageFileToSavedPhotosAlbum(path)) return;
    MediaActionBarHD::showSaved(viewIfLoaded());
}

void SingleImageViewControllerHD::deleteImage() {
    const int p = currentPage();
    if (p < 0 || p >= photoCount() || !scrollView_ || !pageControl_) return;
    // A file that stays keeps its page; the user is told.
    if (!MediaActionBarHD::removeFile(photoPath(p))) return;
    photos_->erase(photos_->begin() + p);
    if (p < static_cast<int>(imageViews_.size())) {
        releaseSlot(p);
        imageViews_.erase(imageViews_.begin() + p);
    }
    const int n = photoCount();
    if (n == 0) {
        pageControl_->setNumberOfPages(0);
        dismissViewControllerAnimated(true);
        return;
    }
    const CGFloat ws = scrollView_->bounds().size.width, hs = scrollView_->bounds().size.height;
    const int q = p < n ? p : n - 1;
    WeakView<UIScrollView> scroll = scrollView_.data();
    std::weak_ptr<UIViewController> weak = weak_from_this();
    auto fitContent = [weak, scroll](bool) {
        auto self = std::static_pointer_cast<SingleImageViewControllerHD>(weak.lock());
        if (!self || !scroll) return;
        scroll->setContentSize(CGSize{scroll->bounds().size.width * self->photoCount(), scroll->bounds().size.height});
    };
    if (p < n) {
        // The later photos move up one page; the next one slides into place.
        UIViewAnimation::animateWithDuration(kDeleteAnimation, [&] {
            for (int slot = q; slot < static_cast<int>(imageViews_.size()); ++slot)
                if (auto& view = imageViews_[static_cast<size_t>(slot)])
                    view->setFrame(CGRectMake(ws * slot + kPictureInset, 0, ws - 2 * kPictureInset, hs));
        }, fitContent);
    } else {
        // The last photo went: back to the one before it, on the page's edge.
        UIViewAnimation::animateWithDuration(kDeleteAnimation, [&] {
            scrollView_->setContentOffset(CGPoint{ws * q, 0}, false);
        }, fitContent);
    }
    loadBuffImageForPage(q);
    pageControl_->setNumberOfPages(n);
    pageControl_->setCurrentPage(q);
    showIndicator(q);
}

}  // namespace lumora
