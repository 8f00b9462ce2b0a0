#pragma once

#include "ui/kit/WeakView.h"
#include <memory>

#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UITableViewController.h"

namespace lumora {

// What a settings screen (the phone's, or the tablet's) tells its opener;
// the sender is the settings screen.
class ConfigViewControllerDelegate {
public:
    virtual ~ConfigViewControllerDelegate() = default;
    // Cancel: nothing was written; the delegate dismisses the screen.
    virtual void configViewControllerDidClose(UIViewController* controller) = 0;
    // Done: the choices are stored; the delegate applies the layout.
    virtual void configViewControllerDidCommit(UIViewController* controller) = 0;
};

// The phone's settings: one pane or four, live preference (real time or
// quality), pictures fitted or filled. Done writes exactly these three
// settings into the application preferences and saves them; every other
// stored setting stays as it was. Cancel writes nothing.
class ConfigViewController : public UITableViewController {
public:
    ConfigViewController();
    ~ConfigViewController() override;

    ConfigViewControllerDelegate* delegate = nullptr;  // not owned

    void viewDidLoad() override;
    int numberOfSectionsInTableView(UITableView*) override { return 1; }
    int numberOfRowsInSection(UITableView*, int) override { return 3; }
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    void doneButtonTapped();
    void cancelButtonTapped();

    UISegmentedControl* layoutSegment() const { return layoutSegment_.data(); }
    UISegmentedControl* preferenceSegment() const { return preferenceSegment_.data(); }
    UISegmentedControl* fullSegment() const { return fullSegment_.data(); }
    // Made but never shown.
    UISegmentedControl* innergetMainSegment() const { return innergetMainSegment_.data(); }

private:
    WeakView<UISegmentedControl> layoutSegment_, preferenceSegment_, fullSegment_, innergetMainSegment_;
};

}  // namespace lumora
