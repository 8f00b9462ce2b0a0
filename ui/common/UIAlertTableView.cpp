#include "ui/common/UIAlertTableView.h"

#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"

namespace lumora {

void UIAlertTableView::prepare() {
    if (tableHeight == 0) tableHeight = kDefaultTableHeight;
    tableExtHeight_ = tableHeight + 16;
    if (!tableView_) {
        auto* table = new UITableView(CGRectMake(0, 0, 262, 130));
        setViewName(table, "alertTable");
        table->setBackgroundColor(UIColor::clearColor());
        tableView_ = table;
        if (box()) box()->addSubview(table);
    }
    tableView_->dataSource = tableDataSource;
    tableView_->setDelegate(tableDelegate);
    setNeedsLayout();
}

void UIAlertTableView::show() {
    prepare();
    UIAlertView::show();
    if (tableView_) tableView_->reloadData();
    layoutSubviews();
}

void UIAlertTableView::placeTable() {
    if (!tableView_) return;
    // Width 262 at x 11 of the box; the alert's own layout puts it below
    // the message and moves the buttons under it.
    CGRect f = tableView_->frame();
    tableView_->setFrame(CGRectMake(11, f.origin.y, 262, tableHeight));
}

void UIAlertTableView::layoutSubviews() {
    placeTable();
    UIAlertView::layoutSubviews();
}

void UIAlertTableView::setButtonTitle(const std::string& title) {
    if (auto* b = dynamic_cast<UIButton*>(viewWithTag(1001))) b->setTitle(title, UIControlStateNormal);
}

void UIAlertTableView::dismissWithClickedButtonIndex(int index, bool animated) {
    if (definedButton) {
        definedButton = false;
        return;
    }
    UIAlertView::dismissWithClickedButtonIndex(index, animated);
}

}  // namespace lumora
