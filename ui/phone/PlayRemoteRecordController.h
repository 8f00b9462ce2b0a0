#pragma once

#include "ui/kit/WeakView.h"
#include <functional>
#include <memory>
#include <string>

#include "ui/common/RecordPane.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class Device;

// Plays one recording kept on a device in a single video pane.
class PlayRemoteRecordController : public UIViewController {
public:
    // Makes the pane the player plays through (a phone video pane unless
    // replaced).
    static std::function<std::shared_ptr<RecordPane>()>& paneFactory();

    PlayRemoteRecordController();
    ~PlayRemoteRecordController() override;

    // PlayRemoteRecord:type:file:
    void PlayRemoteRecord(const std::shared_ptr<Device>& device, unsigned type, const std::string& fileName);

    RecordPane* pane() const { return _channelViewController.get(); }
    UIView* m_pDisplayView() const { return display_.data(); }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;

private:
    void placeDisplay(bool landscape);

    WeakView<UIView> display_;
    std::shared_ptr<RecordPane> _channelViewController;
};

}  // namespace lumora
