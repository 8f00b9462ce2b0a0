#pragma once

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "app/PhoneRootScreen.h"
#include "app/TabletRootScreen.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class StandInPane;

// What the window shows until the real root screens exist: a title, a grid
// of panes (four on the phone, sixteen on the tablet) that select on a tap,
// and a line with the last request the application delegate made.
class StandInScreen : public UIViewController, public PhoneRootScreen, public TabletRootScreen {
public:
    explicit StandInScreen(bool tablet);

    // ---- what the application delegates ask of their root screen
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override;
    void stopAll() override { note("stop all"); }
    void searchAllDeviceState() override { note("poll all devices"); }
    void skipToLiveView() override { note("live view"); }
    void liveViewStopAll() override { note("stop all"); }
    void startShan() override { note("refresh device list"); }
    void startAutoPlay() override { note("resume saved tiles"); }

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;

    int selectedPane() const { return selected_; }
    // Every request in the order it came.
    const std::vector<std::string>& requests() const { return requests_; }

private:
    void note(const std::string& what);
    void layout();

    bool tablet_;
    std::string lastRequest_;
    std::vector<std::string> requests_;
    int selected_ = 0;
    QPointer<UILabel> title_, status_;
    std::vector<QPointer<StandInPane>> panes_;
};

}  // namespace lumora
