#pragma once

#include "ui/kit/WeakView.h"
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/common/DeviceAlarmRegistration.h"
#include "ui/common/DeviceForm.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class Device;
class DeviceDetailViewController;
class UIButton;

class DeviceDetailViewControllerDelegate {
public:
    virtual ~DeviceDetailViewControllerDelegate() = default;
    virtual void deviceDetailViewControllerDidCancel(DeviceDetailViewController* editor) = 0;
    virtual void deviceDetailViewControllerDidAddDevice(DeviceDetailViewController* editor,
                                                        const std::shared_ptr<Device>& device) = 0;
    virtual void deviceDetailViewControllerDidEditDevice(DeviceDetailViewController* editor,
                                                         const std::shared_ptr<Device>& device) = 0;
    virtual void deviceDetailViewControllerDidDeleteDevice(DeviceDetailViewController* editor, int32_t deviceId) = 0;
};

// The phone device editor: add (operation 0), edit (1) or view (2) one
// device in a form of text rows and a channel-count control, on a working
// copy of its fields; Done validates and saves, the delete confirmation
// removes the device. A device with open live views is neither edited nor
// deleted. The editor also registers the device for alarm pushes with the
// push service ("pd.php"), showing a progress overlay while it waits.
class DeviceDetailViewController : public UIViewController,
                                   public UITableViewDataSource,
                                   public UITableViewDelegate,
                                   public UITextFieldDelegate,
                                   public UIAlertViewDelegate {
public:
    enum Operation { kAdd = 0, kEdit = 1, kView = 2 };
    static constexpr int kDeleteAlertTag = 10;
    static constexpr double kRegisterTimeoutSeconds = DeviceAlarmRegistration::kTimeoutSeconds;

    static std::function<std::optional<std::string>()>& pushTokenProvider() {
        return DeviceAlarmRegistration::pushTokenProvider();
    }

    DeviceDetailViewController();
    ~DeviceDetailViewController() override;

    DeviceDetailViewControllerDelegate* delegate = nullptr;  // not owned

    int operation() const { return operation_; }
    void setOperation(int operation);
    int32_t deviceId() const { return deviceId_; }
    void setDeviceId(int32_t deviceId);
    void setDeviceUID(const std::string& uid);
    void initInputDataWithBarCodeStr(const std::string&) {}

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o != UIInterfaceOrientation::PortraitUpsideDown;
    }
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation) override { reload(); }

    void cancelButtonTapped();
    void doneButtonTapped();
    void editButtonTapped();
    void deleteButtonTapped();
    void modeTypeDidChange();

    // Alarm registration: `on` registers, off unregisters.
    void switchAction(bool on);
    bool registerToServer();
    // The request texts and the answer code (shared with the tablet panel).
    static std::string registerText(const std::string& uid, const std::string& name, const std::string& token,
                                    int language) {
        return DeviceAlarmRegistration::registerText(uid, name, token, language);
    }
    static std::string unregisterText(const std::string& uid, const std::string& token) {
        return DeviceAlarmRegistration::unregisterText(uid, token);
    }
    static std::optional<int> answerCode(const std::string& deciphered) {
        return DeviceAlarmRegistration::answerCode(deciphered);
    }

    // Table
    int numberOfRowsInSection(UITableView*, int) override { return mode_ == 0 ? 5 : 6; }
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath& path) override;
    // Text fields
    void textFieldDidBeginEditing(UITextField* field) override;
    bool textFieldShouldReturn(UITextField* field) override;
    // The delete confirmation
    void alertViewDidDismissWithButtonIndex(UIAlertView* alert, int buttonIndex) override;

    int mode() const { return mode_; }
    const std::map<std::string, std::string>& deviceAttributes() const { return attributes_; }
    bool isAlarm() const { return isAlarm_; }
    UISegmentedControl* channelNumberSegment() const { return channelNumberSegment_.data(); }
    UISegmentedControl* seg() const { return seg_.data(); }
    UITableView* infotableview() const { return infotableview_.data(); }
    UIButton* deleteButton() const { return deleteButton_.data(); }
    bool registering() const { return registration_.isRunning(); }

    static int channelNumForSegment(int index) { return DeviceForm::channelNumForIndex(index); }
    static int segmentForChannelNum(int channelNum) { return DeviceForm::indexForChannelNum(channelNum); }

private:
    void reload();
    void addTextRow(UITableViewCell* cell, const std::string& labelKey, const std::string& entry, bool secure,
                    int keyboard, const std::string& shown);
    void finishRegistration(std::optional<int> code);

    int operation_ = kView;
    int32_t deviceId_ = -1;
    int mode_ = 0;
    std::map<std::string, std::string> attributes_;
    bool isAlarm_ = false;
    bool mBRegisterToServer_ = false;
    bool alarmBefore_ = false;
    DeviceAlarmRegistration registration_;
    WeakView<UISegmentedControl> channelNumberSegment_;
    WeakView<UISegmentedControl> seg_;
    WeakView<UITableView> infotableview_;
    WeakView<UIButton> deleteButton_;
};

}  // namespace lumora
