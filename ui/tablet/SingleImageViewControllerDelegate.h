#pragma once

namespace lumora {

class SingleImageViewControllerHD;

// What the tablet photo viewer may tell its opener. Declared for the media
// manager; the viewer itself sends neither.
class SingleImageViewControllerDelegate {
public:
    virtual ~SingleImageViewControllerDelegate() = default;
    // scale of the pinch, set back to 1.0 by the receiver
    virtual void singleImageViewControllerPinch(SingleImageViewControllerHD* viewer, double& scale) = 0;
    virtual void singleImageViewControllerDismiss(SingleImageViewControllerHD* viewer) = 0;
};

}  // namespace lumora
