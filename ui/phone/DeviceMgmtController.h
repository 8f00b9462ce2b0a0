#pragma once

#include "ui/kit/WeakView.h"
#include <memory>

#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UIViewController.h"
#include "ui/phone/DeviceDetailViewController.h"

namespace lumora {

class DeviceMgmtController;

class DeviceMgmtControllerDelegate {
public:
    virtual ~DeviceMgmtControllerDelegate() = default;
    virtual void deviceMgmtControllerDidClose(DeviceMgmtController* list) = 0;
    virtual void deviceMgmtControllerAddDevice(DeviceMgmtController* list) = 0;
};

// The stored devices, in the device list's order. mgmtType 0: the device
// list (a row's detail button opens the editor, an add button asks the
// opener to add a device); mgmtType 1: the devices whose recordings can be
// searched (a row's detail button opens the search form made by
// recordSearchFactory; no add button).
class DeviceMgmtController : public UIViewController,
                             public UITableViewDataSource,
                             public UITableViewDelegate,
                             public DeviceDetailViewControllerDelegate {
public:
    // Makes the recording search form for a device id (by default the
    // phone's QueryRemoteRecordSetting); unset, purpose 1 opens nothing.
    using RecordSearchFactory = std::function<std::shared_ptr<UIViewController>(int32_t deviceId)>;
    static RecordSearchFactory& recordSearchFactory();

    explicit DeviceMgmtController(int mgmtType);

    DeviceMgmtControllerDelegate* delegate = nullptr;  // not owned
    int mgmtType() const { return mgmtType_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }

    void addButtonTapped();
    void closeButtonTapped();

    int numberOfRowsInSection(UITableView*, int) override;
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    // On a tablet the list takes the tablet's dark look and larger rows.
    CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath&) override;
    void accessoryButtonTappedForRowWithIndexPath(UITableView* table, const NSIndexPath& path) override;

    void deviceDetailViewControllerDidCancel(DeviceDetailViewController* editor) override;
    void deviceDetailViewControllerDidAddDevice(DeviceDetailViewController* editor,
                                                const std::shared_ptr<Device>& device) override;
    void deviceDetailViewControllerDidEditDevice(DeviceDetailViewController* editor,
                                                 const std::shared_ptr<Device>& device) override;
    void deviceDetailViewControllerDidDeleteDevice(DeviceDetailViewController* editor, int32_t deviceId) override;

    UITableView* devicesTable() const { return devicesTable_.data(); }
    UINavigationBar* navBar() const { return navBar_.data(); }
    // The editor opened last (null before).
    const std::shared_ptr<DeviceDetailViewController>& editor() const { return editor_; }

private:
    void closeEditor();

    int mgmtType_;
    WeakView<UITableView> devicesTable_;
    WeakView<UINavigationBar> navBar_;
    std::shared_ptr<DeviceDetailViewController> editor_;
};

}  // namespace lumora
