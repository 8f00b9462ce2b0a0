#pragma once

#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

// The tablet recording player: plays the recordings of one device folder.
// The list is shared with the media grid: an entry the player deletes goes
// for the grid too.
class SingleMediaPlayerControllerHD : public UIViewController {
public:
    SingleMediaPlayerControllerHD() = default;

    void setRecords(std::shared_ptr<std::vector<QvFileItem>> records);
    void playRecordAtIndex(int index);

    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }

private:
    std::shared_ptr<std::vector<QvFileItem>> records_;
    int index_ = -1;
};

}  // namespace lumora
