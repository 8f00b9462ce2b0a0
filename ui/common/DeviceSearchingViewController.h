#pragma once

#include "ui/kit/WeakView.h"
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/link/lanSearchDelegate.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class DataController;
class Device;
class RunLoopTimer;
class UIActivityIndicatorView;
class UIBarButtonItem;
class UILabel;
class UIToolbar;

class DeviceSearchingViewControllerDelegate {
public:
    virtual ~DeviceSearchingViewControllerDelegate() = default;
    // The screen closes with devices listed (optional).
    virtual void addMultiDevicesFromMulticaseSearching() {}
    // The user picked the device with this UID (optional).
    virtual void addDeviceItemFromLanSearch(const std::string& /*uid*/) {}
};

// The LAN search screen: runs the session controller's LAN search and lists
// each answering device once (by UID) for the user to pick. The wait for
// answers ends after 6.0 s, by the stop button or by a pick; each search has
// its own time-out, cancelled when the search stops or a new one starts, so
// an earlier search never cuts a later one short. Answers arrive on the
// "lansearch" queue and are listed on the main queue; answers of an earlier
// search never reach the list of a later one.
class DeviceSearchingViewController : public UIViewController,
                                      public UITableViewDataSource,
                                      public UITableViewDelegate,
                                      public lanSearchDelegate {
public:
    static constexpr double kSearchSeconds = 6.0;
    static constexpr int kChannelNumSelectedMark = -2;

    DeviceSearchingViewController();
    ~DeviceSearchingViewController() override;

    std::weak_ptr<DeviceSearchingViewControllerDelegate> delegate;
    bool isAdding = false;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return false; }

    void addDeviceWithLANScanning();
    void stopSearching();
    void selectAll() {}
    void selectRev();
    void lanDiscoverDidTimeout();
    void newDeviceDidFoundInLan(const std::shared_ptr<Device>& device, uint16_t type) override;

    int numberOfRowsInSection(UITableView*, int) override { return static_cast<int>(devicesDiscovered_.size()); }
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath&) override { return 44; }
    void didSelectRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;

    bool isSearching() const;
    const std::vector<std::shared_ptr<Device>>& devicesDiscovered() const { return devicesDiscovered_; }
    int numSelected() const { return numSelected_; }
    const std::shared_ptr<DataController>& dataControl() const { return dataControl_; }
    UILabel* status() const { return status_.data(); }
    UITableView* tableView() const { return tableView_.data(); }
    const std::shared_ptr<UIBarButtonItem>& bitem() const { return bitem_; }
    const std::shared_ptr<UIBarButtonItem>& selectAllBtn() const { return selectAllBtn_; }
    const std::shared_ptr<UIBarButtonItem>& selectRevBtn() const { return selectRevBtn_; }

private:
    class Listener;
    // The wait ends (time-out or stop button).
    void endWaiting(bool byButton);
    void foundOnMain(const std::shared_ptr<Device>& device, uint64_t search);
    void setStatusCount(const std::string& key, int count);
    void refreshToolbar();

    std::vector<std::shared_ptr<Device>> devicesDiscovered_;
    std::shared_ptr<DataController> dataControl_;
    std::shared_ptr<Listener> listener_;
    std::shared_ptr<RunLoopTimer> timeout_;
    std::atomic<uint64_t> search_{0};  // generation of the running (or last) search
    int numSelected_ = 0;
    WeakView<UILabel> status_;
    WeakView<UIActivityIndicatorView> indicator_;
    WeakView<UITableView> tableView_;
    WeakView<UIToolbar> toolbar_;
    std::shared_ptr<UIBarButtonItem> bitem_, selectAllBtn_, selectRevBtn_;
};

}  // namespace lumora
