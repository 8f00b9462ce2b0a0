#pragma once

#include <QPointer>
#include <optional>
#include <string>
#include <vector>

#include "ui/kit/NSIndexPath.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UITableViewCell.h"

namespace lumora {

class UITableView;

class UITableViewDataSource {
public:
    virtual ~UITableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(UITableView*) { return 1; }
    virtual int numberOfRowsInSection(UITableView*, int section) = 0;
    // A new cell (the table owns it); nullptr shows an empty row.
    virtual UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) = 0;
    virtual std::string titleForHeaderInSection(UITableView*, int /*section*/) { return {}; }
    virtual bool canEditRowAtIndexPath(UITableView*, const NSIndexPath&) { return true; }
    virtual void commitEditingStyle(UITableView*, UITableViewCellEditingStyle, const NSIndexPath&) {}
};

class UITableViewDelegate : public UIScrollViewDelegate {
public:
    // Negative: the table's rowHeight / the style's header height.
    virtual CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath&) { return -1; }
    virtual CGFloat heightForHeaderInSection(UITableView*, int /*section*/) { return -1; }
    // A new view (the table owns it) or nullptr for the title.
    virtual UIView* viewForHeaderInSection(UITableView*, int /*section*/) { return nullptr; }
    virtual void didSelectRowAtIndexPath(UITableView*, const NSIndexPath&) {}
    virtual void didDeselectRowAtIndexPath(UITableView*, const NSIndexPath&) {}
    virtual void accessoryButtonTappedForRowWithIndexPath(UITableView*, const NSIndexPath&) {}
    virtual UITableViewCellEditingStyle editingStyleForRowAtIndexPath(UITableView*, const NSIndexPath&) {
        return UITableViewCellEditingStyle::Delete;
    }
};

enum class UITableViewStyle { Plain, Grouped };
enum class UITableViewScrollPosition { None, Top, Middle, Bottom };
enum class UITableViewRowAnimation { None, Fade, Right, Left, Top, Bottom, Automatic };

// Sections of rows with header titles or views. The table asks its data
// source for every cell at reloadData (no reuse: dequeue answers nullptr and
// a new cell is always fine). A tap on a row selects it and tells the
// delegate; in editing mode each row shows a delete control, whose Delete
// button asks the data source to commit the deletion. A reload asked for
// while a finger is down on a row waits until the finger is lifted, so the
// row (and a button in it) still gets its release: tables that refresh on
// a timer do not swallow taps.
class UITableView : public UIScrollView {
public:
    explicit UITableView(const CGRect& frame = CGRectZero, UITableViewStyle style = UITableViewStyle::Plain);

    UITableViewStyle style() const { return style_; }
    UITableViewDataSource* dataSource = nullptr;  // not owned
    UITableViewDelegate* tableDelegate() const { return tableDelegate_; }
    void setDelegate(UITableViewDelegate* delegate);
    CGFloat rowHeight = 44;
    bool allowsSelection = true;
    bool allowsSelectionDuringEditing = false;
    UIColor separatorColor = UIColor::colorWithWhite(0.8, 1);
    void setTableHeaderView(UIView* view);
    void setTableFooterView(UIView* view);

    UITableViewCell* dequeueReusableCellWithIdentifier(const std::string&) { return nullptr; }
    void reloadData();
    void deleteRowsAtIndexPaths(const std::vector<NSIndexPath>& paths, UITableViewRowAnimation animation);
    void insertRowsAtIndexPaths(const std::vector<NSIndexPath>& paths, UITableViewRowAnimation animation);
    void reloadRowsAtIndexPaths(const std::vector<NSIndexPath>& paths, UITableViewRowAnimation animation);
    void beginUpdates() {}
    void endUpdates() { reloadData(); }

    int numberOfSections() const { return static_cast<int>(sections_.size()); }
    int numberOfRowsInSection(int section) const;
    CGRect rectForRowAtIndexPath(const NSIndexPath& path) const;
    CGRect rectForSection(int section) const;
    UITableViewCell* cellForRowAtIndexPath(const NSIndexPath& path) const;
    std::optional<NSIndexPath> indexPathForCell(const UITableViewCell* cell) const;
    std::optional<NSIndexPath> indexPathForRowAtPoint(CGPoint point) const;
    std::vector<UITableViewCell*> visibleCells() const;
    std::optional<NSIndexPath> indexPathForSelectedRow() const { return selected_; }
    void selectRowAtIndexPath(const NSIndexPath& path, bool animated, UITableViewScrollPosition position);
    void deselectRowAtIndexPath(const NSIndexPath& path, bool animated);
    void scrollToRowAtIndexPath(const NSIndexPath& path, bool animated,
                                UITableViewScrollPosition position = UITableViewScrollPosition::None);

    bool isEditing() const { return editing_; }
    void setEditing(bool editing, bool animated = false);

    // ---- from the cells
    void cellTapped(UITableViewCell* cell);
    void accessoryTapped(UITableViewCell* cell);
    void deleteConfirmed(UITableViewCell* cell);
    bool canEdit(const UITableViewCell* cell) const;

    void layoutSubviews() override;

private:
    struct Section {
        QPointer<UIView> header;
        CGFloat headerHeight = 0;
        std::vector<QPointer<UITableViewCell>> cells;
        std::vector<CGFloat> heights;
    };
    void layoutRows();
    UITableViewStyle style_;
    UITableViewDelegate* tableDelegate_ = nullptr;
    std::vector<Section> sections_;
    std::optional<NSIndexPath> selected_;
    bool editing_ = false;
    bool reloadWaiting_ = false;
    QPointer<UIView> headerView_, footerView_;
    CGFloat laidOutWidth_ = -1;
};

}  // namespace lumora
