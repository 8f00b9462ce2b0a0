#pragma once

#include <QPointer>

#include "ui/kit/UITableView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

// A controller whose view is a table, with itself as data source and
// delegate; the table is loaded when it first appears.
class UITableViewController : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    explicit UITableViewController(UITableViewStyle style = UITableViewStyle::Plain) : style_(style) {}
    UITableView* tableView();
    void loadView() override;
    void viewWillAppear(bool animated) override;
    int numberOfRowsInSection(UITableView*, int) override { return 0; }
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath&) override { return nullptr; }
    bool clearsSelectionOnViewWillAppear = true;

private:
    UITableViewStyle style_;
    QPointer<UITableView> table_;
    bool loaded_ = false;
};

}  // namespace lumora
