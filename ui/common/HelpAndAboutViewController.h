#pragma once

#include "ui/kit/WeakView.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class HelpAndAboutViewController;

class HelpControllerDelegate {
public:
    virtual ~HelpControllerDelegate() = default;
    // Cancel was tapped; the delegate dismisses the screen.
    virtual void helpControllerDidClose(HelpAndAboutViewController* controller) = 0;
};

// Help and about, for phone and tablet: a table of help and feedback, then
// the version; Cancel reports to the delegate, the heart button opens the
// product's page in the application store (configuration storeUrl). A help
// or feedback row pushes the help screen onto the navigation controller.
class HelpAndAboutViewController : public UIViewController,
                                   public UITableViewDataSource,
                                   public UITableViewDelegate {
public:
    static constexpr const char* kVersion = "1.0.2";

    HelpControllerDelegate* delegate = nullptr;  // not owned

    UITableView* tableView() const { return table_.data(); }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    // On a tablet: light section titles over the tablet's dark look.
    UIView* viewForHeaderInSection(UITableView* table, int section) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    int numberOfSectionsInTableView(UITableView*) override { return 2; }
    int numberOfRowsInSection(UITableView*, int section) override { return section == 0 ? 2 : 1; }
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    std::string titleForHeaderInSection(UITableView*, int section) override;
    CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath&) override { return 44; }
    void didSelectRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;

    void closeButtonTapped();
    void rate();

private:
    WeakView<UITableView> table_;
};

}  // namespace lumora
