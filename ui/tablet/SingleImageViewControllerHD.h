#pragma once

#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewController.h"
#include "ui/tablet/SingleImageViewControllerDelegate.h"

namespace lumora {

// The tablet photo viewer: the photos of one device folder, one at a time.
// The list is shared with the media grid: an entry the viewer deletes goes
// for the grid too.
class SingleImageViewControllerHD : public UIViewController {
public:
    SingleImageViewControllerHD() = default;

    void setPhotos(std::shared_ptr<std::vector<QvFileItem>> photos);
    void loadPhotos(int index);
    void setDelegate(SingleImageViewControllerDelegate* d) { delegate_ = d; }

    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }

private:
    std::shared_ptr<std::vector<QvFileItem>> photos_;
    int index_ = -1;
    SingleImageViewControllerDelegate* delegate_ = nullptr;  // not owned
};

}  // namespace lumora
