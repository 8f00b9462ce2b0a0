#pragma once

#include <functional>
#include <memory>

#include "ui/kit/UIViewController.h"

namespace lumora {

// A start page inside a navigation controller: its "let's go" button hides
// the bar and pushes the live-view screen, made on the first tap and kept
// (the same screen object is pushed again after it was popped).
class ViewController : public UIViewController {
public:
    // Makes the live-view screen (the phone live screen once it is linked
    // in); a factory that answers nullptr leaves the start page as it is.
    using LiveFactory = std::function<std::shared_ptr<UIViewController>()>;
    static void setLiveViewControllerFactory(LiveFactory factory);

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    void goLive();
    UIViewController* liveVC() const { return liveVC_.get(); }

private:
    std::shared_ptr<UIViewController> liveVC_;
};

}  // namespace lumora
