#include "ui/kit/UITableView.h"

#include <QPainter>
#include <algorithm>

#include "ui/kit/TouchRouter.h"
#include "ui/kit/UILabel.h"

namespace lumora {

UITableView::UITableView(const CGRect& frame, UITableViewStyle style) : UIScrollView(frame), style_(style) {
    setBackgroundColor(style == UITableViewStyle::Grouped ? UIColor::groupTableViewBackgroundColor()
                                                          : UIColor::whiteColor());
    alwaysBounceVertical = true;
}

void UITableView::setDelegate(UITableViewDelegate* delegate) {
    tableDelegate_ = delegate;
    UIScrollView::delegate = delegate;
}

void UITableView::setTableHeaderView(UIView* view) {
    if (headerView_ && headerView_ != view) headerView_->deleteLater();
    headerView_ = view;
    if (view) addSubview(view);
    layoutRows();
}

void UITableView::setTableFooterView(UIView* view) {
    if (footerView_ && footerView_ != view) footerView_->deleteLater();
    footerView_ = view;
    if (view) addSubview(view);
    layoutRows();
}

int UITableView::numberOfRowsInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return static_cast<int>(sections_[section].cells.size());
}

void UITableView::reloadData() {
    TouchRouter& router = TouchRouter::shared();
    if (router.holdsTouchIn(this)) {
        if (!reloadWaiting_) {
            reloadWaiting_ = true;
            QPointer<UITableView> self(this);
            router.whenTouchesEnd([self] {
                if (self && self->reloadWaiting_) self->reloadData();
            });
        }
        return;
    }
    reloadWaiting_ = false;
    auto drop = [](UIView* v) {
        if (!v) return;
        v->setHidden(true);
        v->removeFromSuperview();
        v->deleteLater();
    };
    for (auto& s : sections_) {
        drop(s.header.data());
        for (auto& c : s.cells) drop(c.data());
    }
    sections_.clear();
    if (!dataSource) {
        layoutRows();
        return;
    }
    QPointer<UITableView> self(this);
    int n = std::max(0, dataSource->numberOfSectionsInTableView(this));
    for (int s = 0; s < n && self; ++s) {
        Section sec;
        std::string title = dataSource->titleForHeaderInSection(this, s);
        UIView* header = tableDelegate_ ? tableDelegate_->viewForHeaderInSection(this, s) : nullptr;
        if (!header && !title.empty()) {
            auto* l = new UILabel(CGRectZero);
            l->setText(title);
            l->setFont(UIFont::boldSystemFontOfSize(style_ == UITableViewStyle::Grouped ? 17 : 18));
            l->setTextColor(style_ == UITableViewStyle::Grouped ? UIColor::colorWithRed(0.3, 0.34, 0.42, 1)
                                                                : UIColor::whiteColor());
            if (style_ == UITableViewStyle::Plain) l->setBackgroundColor(UIColor::colorWithRed(0.56, 0.6, 0.65, 1));
            header = l;
        }
        CGFloat hh = tableDelegate_ ? tableDelegate_->heightForHeaderInSection(this, s) : -1;
        if (hh < 0) hh = header ? (style_ == UITableViewStyle::Grouped ? 46 : 22) : (style_ == UITableViewStyle::Grouped ? 10 : 0);
        if (header) addSubview(header);
        sec.header = header;
        sec.headerHeight = hh;
        int rows = std::max(0, dataSource->numberOfRowsInSection(this, s));
        for (int r = 0; r < rows && self; ++r) {
            NSIndexPath path{s, r};
            UITableViewCell* cell = dataSource->cellForRowAtIndexPath(this, path);
            if (!cell) cell = new UITableViewCell();
            cell->setTable(this);
            addSubview(cell);
            CGFloat h = tableDelegate_ ? tableDelegate_->heightForRowAtIndexPath(this, path) : -1;
            sec.heights.push_back(h < 0 ? rowHeight : h);
            sec.cells.push_back(cell);
        }
        sections_.push_back(std::move(sec));
    }
    if (!self) return;
    if (selected_ && (selected_->section >= numberOfSections() || selected_->row >= numberOfRowsInSection(selected_->section)))
        selected_.reset();
    layoutRows();
    for (auto& s : sections_)
        for (auto& c : s.cells)
            if (c) c->setEditing(editing_);
    if (selected_)
        if (UITableViewCell* c = cellForRowAtIndexPath(*selected_)) c->setSelected(true);
}

void UITableView::layoutRows() {
    CGFloat w = bounds().size.width;
    laidOutWidth_ = w;
    CGFloat inset = style_ == UITableViewStyle::Grouped ? 10 : 0;
    CGFloat y = 0;
    if (headerView_) {
        headerView_->setFrame(CGRectMake(0, 0, w, headerView_->frame().size.height));
        y += headerView_->frame().size.height;
    }
    for (auto& s : sections_) {
        if (s.header) s.header->setFrame(CGRectMake(inset, y, w - 2 * inset, s.headerHeight));
        y += s.headerHeight;
        for (size_t i = 0; i < s.cells.size(); ++i) {
            if (s.cells[i]) s.cells[i]->setFrame(CGRectMake(inset, y, w - 2 * inset, s.heights[i]));
            y += s.heights[i];
        }
        if (style_ == UITableViewStyle::Grouped) y += 10;
    }
    if (footerView_) {
        footerView_->setFrame(CGRectMake(0, y, w, footerView_->frame().size.height));
        y += footerView_->frame().size.height;
    }
    setContentSize(CGSize{w, y});
    // Rows gone from the end leave no blank scrolled into view: an offset
    // past the new content comes back to its end (not while a finger drags).
    const CGFloat maxY = std::max(0.0, y - bounds().size.height);
    if (!isDragging() && contentOffset().y > maxY) setContentOffset(CGPoint{contentOffset().x, maxY}, false);
}

void UITableView::layoutSubviews() {
    if (laidOutWidth_ != bounds().size.width) layoutRows();
}

CGRect UITableView::rectForRowAtIndexPath(const NSIndexPath& path) const {
    UITableViewCell* c = cellForRowAtIndexPath(path);
    return c ? c->frame() : CGRectZero;
}

CGRect UITableView::rectForSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return CGRectZero;
    const Section& s = sections_[section];
    CGRect r = s.header ? s.header->frame() : CGRectZero;
    for (auto& c : s.cells) {
        if (!c) continue;
        CGRect f = c->frame();
        if (CGRectIsEmpty(r)) r = f;
        else r = CGRectMake(r.origin.x, r.origin.y, std::max(r.size.width, f.size.width), CGRectGetMaxY(f) - r.origin.y);
    }
    return r;
}

UITableViewCell* UITableView::cellForRowAtIndexPath(const NSIndexPath& p) const {
    if (p.section < 0 || p.section >= numberOfSections()) return nullptr;
    const Section& s = sections_[p.section];
    if (p.row < 0 || p.row >= static_cast<int>(s.cells.size())) return nullptr;
    return s.cells[p.row].data();
}

std::optional<NSIndexPath> UITableView::indexPathForCell(const UITableViewCell* cell) const {
    for (int s = 0; s < numberOfSections(); ++s)
        for (int r = 0; r < static_cast<int>(sections_[s].cells.size()); ++r)
            if (sections_[s].cells[r].data() == cell) return NSIndexPath{s, r};
    return std::nullopt;
}

std::optional<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint p) const {
    for (int s = 0; s < numberOfSections(); ++s)
        for (int r = 0; r < static_cast<int>(sections_[s].cells.size()); ++r)
            if (sections_[s].cells[r] && CGRectContainsPoint(sections_[s].cells[r]->frame(), p)) return NSIndexPath{s, r};
    return std::nullopt;
}

std::vector<UITableViewCell*> UITableView::visibleCells() const {
    std::vector<UITableViewCell*> out;
    CGRect visible{contentOffset(), bounds().size};
    for (auto& s : sections_)
        for (auto& c : s.cells)
            if (c && CGRectIntersectsRect(c->frame(), visible)) out.push_back(c.data());
    return out;
}

void UITableView::selectRowAtIndexPath(const NSIndexPath& path, bool animated, UITableViewScrollPosition position) {
    if (selected_)
        if (UITableViewCell* old = cellForRowAtIndexPath(*selected_)) old->setSelected(false);
    UITableViewCell* c = cellForRowAtIndexPath(path);
    if (!c) {
        selected_.reset();
        return;
    }
    selected_ = path;
    c->setSelected(true);
    if (position != UITableViewScrollPosition::None) scrollToRowAtIndexPath(path, animated, position);
}

void UITableView::deselectRowAtIndexPath(const NSIndexPath& path, bool) {
    if (UITableViewCell* c = cellForRowAtIndexPath(path)) c->setSelected(false);
    if (selected_ && *selected_ == path) selected_.reset();
}

void UITableView::scrollToRowAtIndexPath(const NSIndexPath& path, bool animated, UITableViewScrollPosition position) {
    CGRect r = rectForRowAtIndexPath(path);
    if (CGRectIsEmpty(r)) return;
    if (position == UITableViewScrollPosition::Top) {
        CGFloat maxY = std::max(0.0, contentSize().height - bounds().size.height);
        setContentOffset(CGPoint{contentOffset().x, std::min(r.origin.y, maxY)}, animated);
    } else {
        scrollRectToVisible(r, animated);
    }
}

void UITableView::setEditing(bool editing, bool animated) {
    editing_ = editing;
    for (auto& s : sections_)
        for (auto& c : s.cells)
            if (c) c->setEditing(editing, animated);
}

bool UITableView::canEdit(const UITableViewCell* cell) const {
    auto path = indexPathForCell(cell);
    if (!path || !dataSource) return false;
    if (!const_cast<UITableViewDataSource*>(dataSource)->canEditRowAtIndexPath(const_cast<UITableView*>(this), *path))
        return false;
    UITableViewCellEditingStyle style =
        tableDelegate_ ? tableDelegate_->editingStyleForRowAtIndexPath(const_cast<UITableView*>(this), *path)
                       : UITableViewCellEditingStyle::Delete;
    return style == UITableViewCellEditingStyle::Delete;
}

void UITableView::cellTapped(UITableViewCell* cell) {
    auto path = indexPathForCell(cell);
    if (!path) return;
    if (!(editing_ ? allowsSelectionDuringEditing : allowsSelection)) return;
    selectRowAtIndexPath(*path, false, UITableViewScrollPosition::None);
    if (tableDelegate_) tableDelegate_->didSelectRowAtIndexPath(this, *path);
}

void UITableView::accessoryTapped(UITableViewCell* cell) {
    auto path = indexPathForCell(cell);
    if (path && tableDelegate_) tableDelegate_->accessoryButtonTappedForRowWithIndexPath(this, *path);
}

void UITableView::deleteConfirmed(UITableViewCell* cell) {
    auto path = indexPathForCell(cell);
    if (path && dataSource) dataSource->commitEditingStyle(this, UITableViewCellEditingStyle::Delete, *path);
}

void UITableView::deleteRowsAtIndexPaths(const std::vector<NSIndexPath>&, UITableViewRowAnimation) { reloadData(); }
void UITableView::insertRowsAtIndexPaths(const std::vector<NSIndexPath>&, UITableViewRowAnimation) { reloadData(); }
void UITableView::reloadRowsAtIndexPaths(const std::vector<NSIndexPath>&, UITableViewRowAnimation) { reloadData(); }

}  // namespace lumora
