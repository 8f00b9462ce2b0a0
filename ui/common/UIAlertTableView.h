#pragma once

#include "ui/kit/UIAlertView.h"
#include "ui/kit/UITableView.h"

namespace lumora {

// An alert with a table between its message and its buttons. While
// `definedButton` is set, a button press (or a dismissal in code) clears
// the flag and leaves the alert open.
class UIAlertTableView : public UIAlertView {
public:
    using UIAlertView::UIAlertView;

    static constexpr int kDefaultTableHeight = 70;

    // The table, made by prepare() (nullptr before).
    UITableView* tableView() const { return tableView_.data(); }
    // Height of the table in points; 0 means 70.
    int tableHeight = 0;
    UITableViewDelegate* tableDelegate = nullptr;      // not owned
    UITableViewDataSource* tableDataSource = nullptr;  // not owned
    bool definedButton = false;
    // Kept for the user of the class.
    bool currentdefinedButton = false;
    // How much the alert grows for the table (tableHeight + 16).
    int tableExtHeight() const { return tableExtHeight_; }

    // Makes the table, shows the alert and lays it out.
    void show();
    // Shows the alert without a table.
    void oldShow() { UIAlertView::show(); }
    void prepare();
    // The title (normal state) of the button tagged 1001, when there is one.
    void setButtonTitle(const std::string& title);
    void dismissWithClickedButtonIndex(int index, bool animated) override;
    void layoutSubviews() override;

private:
    void placeTable();

    QPointer<UITableView> tableView_;
    int tableExtHeight_ = 0;
};

}  // namespace lumora
