#pragma once

#include <memory>

#include "platform/runloop/RunLoop.h"
#include "ui/kit/UIButton.h"

namespace lumora {

// A button that can blink: its normal background image alternates between
// two images every 0.7 s until stopActionwithImage() sets the final one.
// The blink runs on a timer of the main run loop, so every image change is
// made on the main thread and a stop always ends on the stop's image.
class ZButton : public UIButton {
public:
    static constexpr double kBlinkInterval = 0.7;

    explicit ZButton(const CGRect& frame = CGRectZero) : UIButton(frame) {}
    ~ZButton() override;

    // Starts blinking between the two images (the first step shows the second).
    void startAction(std::shared_ptr<UIImage> firstImg, std::shared_ptr<UIImage> secImg);
    // Ends the blink and shows `image` as the normal background.
    void stopActionwithImage(std::shared_ptr<UIImage> image);
    // One blink step.
    void shan();

    bool isShan() const { return isShan_; }
    void setIsShan(bool on) { isShan_ = on; }
    bool isBlinking() const { return startAction_; }

private:
    void beginshan();

    bool isShan_ = false;
    bool startAction_ = false;
    std::shared_ptr<UIImage> firstImg_, secImg_;
    std::shared_ptr<RunLoopTimer> timer_;
};

}  // namespace lumora
