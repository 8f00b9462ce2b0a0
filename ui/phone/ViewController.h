#pragma once

#include <memory>

#include "ui/kit/UIViewController.h"

namespace lumora {

class LiveViewController;

// A start page inside a navigation controller: its "let's go" button hides
// the bar and pushes the phone live-view screen, made on the first tap and
// kept (the same screen object is pushed again after it was popped; the
// live screen's back arrow pops it).
class ViewController : public UIViewController {
public:
    ViewController();
    ~ViewController() override;

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    void goLive();
    LiveViewController* liveVC() const { return liveVC_.get(); }

private:
    std::shared_ptr<LiveViewController> liveVC_;
};

}  // namespace lumora
