#include "ui/tablet/SingleMediaPlayerControllerHD.h"

namespace lumora {

void SingleMediaPlayerControllerHD::setRecords(std::shared_ptr<std::vector<QvFileItem>> records) {
    records_ = std::move(records);
}

void SingleMediaPlayerControllerHD::playRecordAtIndex(int index) { index_ = index; }

}  // namespace lumora
