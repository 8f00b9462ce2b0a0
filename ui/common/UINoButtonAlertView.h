#pragma once

#include <memory>
#include <string>

#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"

namespace lumora {

class Device;

class UINoButtonAlertViewDelegate {
public:
    virtual ~UINoButtonAlertViewDelegate() = default;
    // A device was found and added to the device list.
    virtual void addDeviceWithInfoFromZBarCode() {}
};

// An alert with a spinner in its title while one device is sought by id
// and added. The client that searches is given by the owner; without one,
// start() only shows the spinner.
class UINoButtonAlertView : public UIAlertView {
public:
    // What searches: finds the device with the id and answers
    // deviceDidConnect on the main thread.
    class SearchClient {
    public:
        virtual ~SearchClient() = default;
        virtual void setupSearchAndConnDeviceWithID(const std::string& deviceId, double globalTimeout) = 0;
        virtual void closeConnToDeviceWithID(const std::string& deviceId, int32_t connectionId) = 0;
    };

    static constexpr double kSearchTimeout = 15.0;

    UINoButtonAlertView(const std::string& title, const std::string& message, UIAlertViewDelegate* delegate,
                        const std::string& cancelButtonTitle, const std::vector<std::string>& otherButtonTitles);

    std::string deviceId;
    UINoButtonAlertViewDelegate* tdelegate = nullptr;  // not owned
    std::shared_ptr<SearchClient> gclient;

    void start();
    // The search's answer: codes 1 and 10 with a device that has an address
    // and a media port add the device.
    void deviceDidConnect(const std::shared_ptr<Device>& device, const std::string& deviceId, int errorCode);

    UIButton* button() const { return button_.data(); }
    UILabel* label() const { return label_.data(); }
    UIActivityIndicatorView* indicator() const { return indicator_.data(); }

private:
    QPointer<UIButton> button_;
    QPointer<UILabel> label_;
    QPointer<UIActivityIndicatorView> indicator_;
};

}  // namespace lumora
