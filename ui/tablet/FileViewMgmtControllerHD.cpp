#include "ui/tablet/FileViewMgmtControllerHD.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "platform/Log.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {

// The grid's frame until the file screen places it.
constexpr CGRect kRootFrame{{0, 0}, {768, 1024}};

// True when the file is gone afterwards (also when it already was).
bool removeFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) return false;
    std::error_code gone;
    return !std::filesystem::exists(std::filesystem::symlink_status(path, gone));
}

}  // namespace

FileViewMgmtControllerHD::FileViewMgmtControllerHD() {
    locationQueue_.fill(-1);
    if (!pageControl_) {
        pageControl_ = new UIPageControl(CGRectZero);
        setViewName(pageControl_, "pageControl");
    }
    if (!scrollView_) {
        auto* s = new UIScrollView(CGRectZero);
        setViewName(s, "fileScrollView");
        s->setPagingEnabled(true);
        s->showsHorizontalScrollIndicator = true;
        s->showsVerticalScrollIndicator = false;
        s->setUserInteractionEnabled(true);
        s->setBackgroundColor(UIColor::clearColor());
        s->delegate = this;
        scrollView_ = s;
    }
}

FileViewMgmtControllerHD::~FileViewMgmtControllerHD() {
    for (auto& v : views_)
        if (v) {
            v->setDelegate(nullptr);
            v->cancelLongPress();
        }
    if (scrollView_) {
        scrollView_->delegate = nullptr;
        if (!scrollView_->superview()) delete scrollView_.data();
    }
    if (pageControl_ && !pageControl_->superview()) delete pageControl_.data();
}

void FileViewMgmtControllerHD::loadView() {
    auto* v = new UIView(kRootFrame);
    setViewName(v, "fileViewMgmtView");
    v->setBackgroundColor(UIColor::clearColor());
    setView(v);
}

std::vector<QvFileItem>* FileViewMgmtControllerHD::currentList() const {
    return imgvdo_ == 0 ? photos_.get() : videos_.get();
}

int FileViewMgmtControllerHD::currentCount() const {
    const auto* list = currentList();
    return list ? static_cast<int>(list->size()) : 0;
}

int FileViewMgmtControllerHD::numberOfPages() const {
    return (currentCount() + kItemsPerPage - 1) / kItemsPerPage;
}

int FileViewMgmtControllerHD::locationAt(int position) const {
    return position >= 0 && position < kItemsPerPage ? locationQueue_[position] : -1;
}

CGFloat FileViewMgmtControllerHD::pageWidth() const {
    return scrollView_ ? scrollView_->frame().size.width : 0;
}

CGRect FileViewMgmtControllerHD::frameForIndex(int index, int page) const {
    UIView* v = viewIfLoaded();
    const CGSize b = v ? v->bounds().size : CGSize{};
    const CGFloat cw = std::trunc(b.width / kColumns);
    const CGFloat ch = std::trunc((b.height - 20) / kRows);
    const int k = index % kItemsPerPage;
    const CGFloat x = std::trunc(page * pageWidth() + (k % kColumns) * cw);
    const CGFloat y = std::trunc((k / kColumns) * ch);
    return CGRectMake(x, y, cw, ch);
}

void FileViewMgmtControllerHD::discard(ShotViewHD* view) {
    if (!view) return;
    view->setDelegate(nullptr);
    view->cancelLongPress();
    view->removeFromSuperview();
    // Later: the view may be inside one of its own callbacks.
    view->deleteLater();
}

ShotViewHD* FileViewMgmtControllerHD::makeItemView(int index, const CGRect& frame) {
    auto* list = currentList();
    if (!list || !scrollView_ || index < 0 || index >= static_cast<int>(list->size()) ||
        index >= static_cast<int>(views_.size()))
        return nullptr;
    auto* v = new ShotViewHD(frame, imgvdo_, editable_, index);
    v->setMediaItem((*list)[static_cast<size_t>(index)]);
    v->setNeedsLayout();
    v->drawImage();
    views_[static_cast<size_t>(index)] = v;
    v->setDelegate(this);
    v->setBackgroundColor(UIColor::clearColor());
    scrollView_->addSubview(v);
    return v;
}

void FileViewMgmtControllerHD::setLayoutType(int medium, bool editable) {
    imgvdo_ = medium;
    editable_ = editable;
    UIView* v = view();
    const int pages = numberOfPages();
    const CGRect b = v->bounds();
    if (pageControl_) {
        pageControl_->setFrame(CGRectMake(b.origin.x, b.origin.y + b.size.height - kPageControlHeight, b.size.width,
                                          kPageControlHeight));
        if (pageControl_->superview() != v) v->addSubview(pageControl_);
        pageControl_->setNumberOfPages(pages);
    }
    if (scrollView_) {
        const CGRect f = v->frame();
        scrollView_->setFrame(CGRectMake(0, 0, f.size.width, f.size.height - kPageControlHeight));
        scrollView_->setContentSize(CGSize{pages * pageWidth(), scrollView_->frame().size.height});
        scrollView_->showsHorizontalScrollIndicator = true;
        if (scrollView_->superview() != v) v->addSubview(scrollView_);
        else v->bringSubviewToFront(scrollView_);
        for (UIView* sub : scrollView_->subviews()) {
            if (auto* shot = dynamic_cast<ShotViewHD*>(sub)) {
                discard(shot);
            } else {
                sub->removeFromSuperview();
                sub->deleteLater();
            }
        }
    }
    loadFiles();
}

void FileViewMgmtControllerHD::loadFiles() {
    for (auto& slot : views_) discard(slot.data());
    views_.assign(static_cast<size_t>(currentCount()), nullptr);
    // A page kept from a longer list falls back to the last page there is.
    const int pages = numberOfPages();
    int& b = currentPage();
    b = pages == 0 ? 0 : std::clamp(b, 0, pages - 1);
    const int page = b;
    // The lists may have changed since the last layout: pages and content follow them.
    if (pageControl_) {
        pageControl_->setNumberOfPages(pages);
        pageControl_->setCurrentPage(page);
    }
    if (scrollView_) scrollView_->setContentSize(CGSize{pages * pageWidth(), scrollView_->frame().size.height});
    loadScrollViewWithPage(page - 1, false);
    loadScrollViewWithPage(page, true);
    loadScrollViewWithPage(page + 1, false);
    if (scrollView_)
        scrollView_->scrollRectToVisible(CGRectMake(page * pageWidth(), 0, pageWidth(), scrollView_->frame().size.height),
                                         true);
}

void FileViewMgmtControllerHD::loadScrollViewWithPage(int page, bool toShow) {
    if (page < 0 || page >= numberOfPages()) return;
    const int n = currentCount();
    const int last = std::min(kItemsPerPage * page + kItemsPerPage - 1, n - 1);
    for (int i = kItemsPerPage * page; i <= last && i < static_cast<int>(views_.size()); ++i) {
        ShotViewHD* v = views_[static_cast<size_t>(i)];
        const CGRect frame = frameForIndex(i, i / kItemsPerPage);
        if (!v) {
            v = makeItemView(i, frame);
            if (!v) continue;
        } else {
            // A view that moved up after a deletion on an earlier page takes its place now.
            v->setFrame(frame);
        }
        if (toShow) {
            v->setLayoutTag(i % kItemsPerPage);
            locationQueue_[static_cast<size_t>(i % kItemsPerPage)] = i;
        } else {
            v->setLayoutTag(-1);
        }
    }
}

void FileViewMgmtControllerHD::scrollViewDidScroll(UIScrollView* scrollView) {
    if (!scrollView) return;
    const CGFloat ws = pageWidth();
    if (ws <= 0) return;
    const double p = std::floor((scrollView->contentOffset().x - ws / 2) / ws) + 1;
    if (!std::isfinite(p)) return;
    const int page = static_cast<int>(std::clamp(p, -1.0, 1e6));
    if (pageControl_) pageControl_->setCurrentPage(page);
    currentPage() = page;
    loadScrollViewWithPage(page - 1, false);
    loadScrollViewWithPage(page, true);
    loadScrollViewWithPage(page + 1, false);
}

void FileViewMgmtControllerHD::changePage() {
    if (!pageControl_) return;
    const int page = pageControl_->currentPage();
    currentPage() = page;
    loadScrollViewWithPage(page - 1, false);
    loadScrollViewWithPage(page, true);
    loadScrollViewWithPage(page + 1, false);
    if (scrollView_)
        scrollView_->scrollRectToVisible(CGRectMake(page * pageWidth(), 9, pageWidth(), scrollView_->frame().size.height),
                                         true);
}

void FileViewMgmtControllerHD::redrawScrollViewIfNeeded(int index) {
    if (index < 0 || index >= static_cast<int>(views_.size())) return;
    discard(views_[static_cast<size_t>(index)].data());
    views_.erase(views_.begin() + index);
    const int n = static_cast<int>(views_.size());
    const int end = index - index % kItemsPerPage + kItemsPerPage - 1;
    const int page = pageControl_ ? pageControl_->currentPage() : index / kItemsPerPage;
    for (int j = index; j <= end && j < n; ++j) {
        const CGRect frame = frameForIndex(j, page);
        ShotViewHD* v = views_[static_cast<size_t>(j)];
        if (!v) {
            // A slot whose page was never loaded: its item is made where it now belongs.
            v = makeItemView(j, frame);
            if (!v) continue;
        } else {
            WeakView<ShotViewHD> weak(v);
            UIViewAnimation::animateWithDuration(
                kGapAnimation, 0, UIViewAnimationOptionCurveEaseInOut,
                [weak, frame] {
                    if (weak) weak->setFrame(frame);
                },
                [](bool) {});
        }
        v->setLayoutTag(j % kItemsPerPage);
        locationQueue_[static_cast<size_t>(j % kItemsPerPage)] = j;
    }
    if (n % kItemsPerPage != 0) return;
    // A page fell empty.
    const int pages = n / kItemsPerPage;
    if (pageControl_) pageControl_->setNumberOfPages(pages);
    if (!scrollView_) return;
    const CGFloat ws = pageWidth(), h = scrollView_->frame().size.height;
    if (index == n) scrollView_->scrollRectToVisible(CGRectMake((std::max(pages, 1) - 1) * ws, 0, ws, h), true);
    scrollView_->setContentSize(CGSize{std::max(pages, 1) * ws, h});
}

void FileViewMgmtControllerHD::shotViewDeleteAtLayout(ShotViewHD*, int layoutTag) {
    if (layoutTag < 0 || layoutTag >= kItemsPerPage) return;
    const int i = locationQueue_[static_cast<size_t>(layoutTag)];
    auto* list = currentList();
    if (!list || i < 0 || i >= static_cast<int>(list->size())) return;
    const QvFileItem& item = (*list)[static_cast<size_t>(i)];
    const std::string path = item.path + item.name;
    if (!removeFile(path)) {
        Log::warn("media", "could not remove %s", path.c_str());
        return;
    }
    list->erase(list->begin() + i);
    redrawScrollViewIfNeeded(i);
}

void FileViewMgmtControllerHD::shotViewLongPress(ShotViewHD*, RunLoopTimer*) {
    if (delegate_) delegate_->longPressedCatchedInFileViewController(this, editable_);
}

void FileViewMgmtControllerHD::shotViewSingleTapped(ShotViewHD* view, UITapGestureRecognizer*) {
    if (editable_ || !delegate_ || !view) return;
    const int tag = view->layoutTag();
    if (tag < 0 || tag >= kItemsPerPage) return;
    const int i = locationQueue_[static_cast<size_t>(tag)];
    if (i < 0 || i >= static_cast<int>(views_.size()) || i >= currentCount()) return;
    if (imgvdo_ != 0) delegate_->playTappedVideoForIndex(i);
    else delegate_->showTappedImageForIndex(i);
}

}  // namespace lumora
