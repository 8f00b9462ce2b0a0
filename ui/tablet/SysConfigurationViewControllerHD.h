#pragma once

#include "ui/kit/UIButton.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"
#include "ui/phone/ConfigViewController.h"
#include "ui/tablet/TranslucentToolbar.h"

namespace lumora {

// The tablet's settings, presented by the home screen: the tile layout (1,
// 4, 6, 9 or 16 tiles), live preference (real time or quality), pictures
// fitted or filled, and whether the application skips the home page. Done
// writes what the screen shows into the application preferences, tells the
// delegate and saves; Cancel writes nothing. A setting the screen has no
// control for (auto play, unless the layout holds its switch) keeps its
// stored value. Made from the interface file
// "SysConfigurationViewControllerHD"; each row's cell from its own cell
// interface file. Landscape only. Main thread only.
class SysConfigurationViewControllerHD : public UIViewController,
                                         public UITableViewDataSource,
                                         public UITableViewDelegate {
public:
    static constexpr const char* kInterfaceName = "SysConfigurationViewControllerHD";
    static constexpr int kLabelTag = 1;
    static constexpr int kRowCount = 5;

    SysConfigurationViewControllerHD();
    ~SysConfigurationViewControllerHD() override;
    static void registerInterface();

    ConfigViewControllerDelegate* delegate = nullptr;  // not owned

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }

    void doneButtonTapped();
    void cancelButtonTapped();

    // ---- the table
    int numberOfSectionsInTableView(UITableView*) override { return 1; }
    int numberOfRowsInSection(UITableView*, int) override { return kRowCount; }
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath&) override { return 64; }

    // Outlets (object names as in the interface files). The cell outlets
    // hand a row's cell over while its cell file loads.
    WeakView<TranslucentToolbar> toolBar;
    WeakView<UITableView> settingTable;
    WeakView<UISegmentedControl> layoutSegment, preferenceSegment, modelSegment;
    WeakView<UISwitch> skipHpageSwitch;
    // Only when the layout provides one; the screen never makes it.
    WeakView<UISwitch> autoPlaySwitch;
    WeakView<UITableViewCell> switcherCell, segment2Cell, segment5Cell, segment6Cell;

    UIButton* doneButton() const { return doneButton_.data(); }
    UIButton* cancelButton() const { return cancelButton_.data(); }

private:
    UIButton* makeBarButton(const std::string& titleKey, const std::string& name, void (SysConfigurationViewControllerHD::*action)());

    WeakView<UIButton> doneButton_, cancelButton_;
};

}  // namespace lumora
