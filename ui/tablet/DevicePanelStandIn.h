#pragma once

#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIPickerView.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UIViewController.h"
#include "ui/tablet/DeviceMgmtControllerHDDelegate.h"

namespace lumora {

// The side panel's device list until the full device panel is in place:
// a home button (the live screen's way back), one header per stored device (in list order) and a toggle per channel,
// named "panelChannel<section>_<channel>". A toggle asks the live screen to
// start or stop that channel; the toggles mirror the busy tiles on reload.
// Main thread only.
class DevicePanelStandIn : public UIViewController,
                           public UIPopoverControllerDelegate,
                           public UIPickerViewDataSource,
                           public UIPickerViewDelegate {
public:
    void loadView() override;

    void setDelegate(DeviceMgmtControllerHDDelegate* d) { delegate_ = d; }
    void setSuperController(UIViewController* c) { superController_ = c; }
    UIViewController* superController() const { return superController_; }

    void drawElement();
    void reloadDeviceTable(bool all);
    void reloadDeviceChannels(int deviceId, int channelNumber);
    void setStartShan(bool on) { startShan_ = on; }
    bool startShan() const { return startShan_; }
    void searchAllDeviceState();
    void startaaa() { startShan_ = true; }
    void closeAllSesionHeadView() { openSection_ = -1; }
    void openSesionHeadView(int section, int index);
    int openSection() const { return openSection_; }
    int openIndex() const { return openIndex_; }
    int reloadCount() const { return reloads_; }

    // ---- the add-mode picker (rows only; the adding itself comes with the full panel)
    int numberOfComponentsInPickerView(UIPickerView*) override { return 1; }
    int numberOfRowsInComponent(UIPickerView*, int) override { return 3; }
    std::string titleForRow(UIPickerView*, int row, int) override;

private:
    void channelTapped(UIButton* b, int deviceId, int channel);

    DeviceMgmtControllerHDDelegate* delegate_ = nullptr;  // the live screen, which owns this panel
    UIViewController* superController_ = nullptr;
    QPointer<UIButton> homeButton_;
    std::vector<QPointer<UIButton>> toggles_;
    std::vector<std::pair<int, int>> shape_;  // (device id, channels) the toggles were built for
    bool startShan_ = false;
    int openSection_ = -1;
    int openIndex_ = -1;
    int reloads_ = 0;
};

}  // namespace lumora
