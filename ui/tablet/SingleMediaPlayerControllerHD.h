#pragma once

#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

// The tablet's player of one stored recording: the movie player with its
// embedded controls under a toolbar with back, save to the album and
// delete. The recording list is shared with the media grid.
class SingleMediaPlayerControllerHD : public UIViewController {
public:
    SingleMediaPlayerControllerHD();
    ~SingleMediaPlayerControllerHD() override;

    void setRecords(std::shared_ptr<std::vector<QvFileItem>> records);
    std::shared_ptr<std::vector<QvFileItem>> records() const { return records_; }
    // Plays entry `index` of the records; nothing outside the list.
    void playRecordAtIndex(int index);

private:
    std::shared_ptr<std::vector<QvFileItem>> records_;
    int index_ = -1;
};

}  // namespace lumora
