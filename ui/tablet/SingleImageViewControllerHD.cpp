#include "ui/tablet/SingleImageViewControllerHD.h"

namespace lumora {

void SingleImageViewControllerHD::setPhotos(std::shared_ptr<std::vector<QvFileItem>> photos) {
    photos_ = std::move(photos);
}

void SingleImageViewControllerHD::loadPhotos(int index) { index_ = index; }

}  // namespace lumora
