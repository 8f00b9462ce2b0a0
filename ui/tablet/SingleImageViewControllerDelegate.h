#pragma once

namespace lumora {

class SingleImageViewControllerHD;

// What the tablet photo viewer asks of whoever presented it. Main thread.
class SingleImageViewControllerDelegate {
public:
    virtual ~SingleImageViewControllerDelegate() = default;
    // A pinch on the photo; `scale` is the pinch's scale, set back to 1.0 by the receiver.
    virtual void singleImageViewControllerPinch(SingleImageViewControllerHD* viewer, double& scale) = 0;
    virtual void singleImageViewControllerDismiss(SingleImageViewControllerHD* viewer) = 0;
};

}  // namespace lumora
