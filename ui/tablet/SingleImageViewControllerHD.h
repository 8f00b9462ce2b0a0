#pragma once

#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class SingleImageViewControllerDelegate;

// The tablet's viewer of the snapshots of one device folder: one photo per
// page, full width, with a toolbar (back, "n of m", save to the album,
// delete) and a page indicator. Only the current photo and its two
// neighbours are loaded. The photo list is shared with the media grid:
// a delete here removes the entry there too.
class SingleImageViewControllerHD : public UIViewController {
public:
    SingleImageViewControllerHD();
    ~SingleImageViewControllerHD() override;

    void setPhotos(std::shared_ptr<std::vector<QvFileItem>> photos);
    std::shared_ptr<std::vector<QvFileItem>> photos() const;
    // Lays out one page per photo and shows the photo at `index`.
    void loadPhotos(int index);
    void setDelegate(SingleImageViewControllerDelegate* d);  // Not owned.
    SingleImageViewControllerDelegate* delegate() const { return delegate_; }

private:
    std::shared_ptr<std::vector<QvFileItem>> photos_;
    SingleImageViewControllerDelegate* delegate_ = nullptr;
};

}  // namespace lumora
