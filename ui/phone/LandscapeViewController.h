#pragma once

#include <memory>

#include "ui/kit/UIViewController.h"

namespace lumora {

class ChannelMgmtController;

// A landscape container for the phone pane grid. The grid is not owned:
// it is held weakly, and a grid that has gone counts as none. After a
// rotation the grid's view fills the container and the grid takes its
// landscape arrangement.
class LandscapeViewController : public UIViewController {
public:
    void setChannelMgmtController(const std::shared_ptr<ChannelMgmtController>& grid);
    ChannelMgmtController* channelMgmtController() const { return grid_.lock().get(); }

    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
    }

private:
    std::weak_ptr<ChannelMgmtController> grid_;
};

}  // namespace lumora
