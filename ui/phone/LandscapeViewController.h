#pragma once

#include <functional>
#include <memory>

#include "ui/kit/UIViewController.h"

namespace lumora {

// A landscape container for the phone pane grid. The grid is not owned:
// it is held weakly, and a grid that has gone counts as none. After a
// rotation the grid's view fills the container and the grid is switched to
// its landscape arrangement.
class LandscapeViewController : public UIViewController {
public:
    // Switches a grid to its landscape arrangement (the pane grid's
    // setIsLandscapeLayout(true)).
    using LandscapeLayout = std::function<void(UIViewController& grid)>;
    static void setLandscapeLayoutHandler(LandscapeLayout handler);

    void setChannelMgmtController(const std::shared_ptr<UIViewController>& grid);
    UIViewController* channelMgmtController() const { return grid_.lock().get(); }

    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
    }

private:
    std::weak_ptr<UIViewController> grid_;
};

}  // namespace lumora
