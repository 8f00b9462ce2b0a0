#include "ui/kit/UITableViewController.h"

#include "ui/kit/UIScreen.h"

namespace lumora {

UITableView* UITableViewController::tableView() {
    view();
    return table_.data();
}

void UITableViewController::loadView() {
    auto* t = new UITableView(UIScreen::mainScreen().bounds(), style_);
    setViewName(t, "tableView");
    t->dataSource = this;
    t->setDelegate(this);
    table_ = t;
    setView(t);
}

void UITableViewController::viewWillAppear(bool) {
    if (!table_) return;
    if (!loaded_) {
        loaded_ = true;
        table_->reloadData();
    }
    if (clearsSelectionOnViewWillAppear)
        if (auto sel = table_->indexPathForSelectedRow()) table_->deselectRowAtIndexPath(*sel, false);
}

}  // namespace lumora
