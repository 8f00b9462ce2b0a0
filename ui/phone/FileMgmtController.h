#pragma once

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "base/utilities/MoviePlayerEngine.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class FileMgmtController;
class MediaPlayController;
class PhotoBrowseController;
class UIBarButtonItem;

class FileMgmtControllerDelegate {
public:
    virtual ~FileMgmtControllerDelegate() = default;
    virtual void fileMgmtControllerDidClose(FileMgmtController* controller) = 0;
};

// The stored snapshots and recordings: first the device folders of one
// kind, then the files of one folder; a file opens in the photo browser or
// the recording player. Folders and files can be deleted; a row goes only
// when the store really removed it, otherwise the user is told.
class FileMgmtController : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    enum Level { RecordFolders = 1, PhotoFolders = 2, PhotoFiles = 4, RecordFiles = 5 };

    explicit FileMgmtController(MoviePlayerEngineFactory engines = {});
    ~FileMgmtController() override;

    FileMgmtControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(FileMgmtControllerDelegate* delegate) { delegate_ = delegate; }

    int currentFileType() const { return currentFileType_; }
    const std::vector<std::string>& recordDeviceArr() const { return recordDeviceArr_; }
    const std::vector<std::string>& photoDeviceArr() const { return photoDeviceArr_; }
    const std::shared_ptr<MediaPlayController>& mediaPlayController() const { return mediaPlayController_; }
    const std::shared_ptr<PhotoBrowseController>& photoBrowseController() const { return photoBrowseController_; }
    UITableView* filesTable() const { return filesTable_.data(); }

    void fileTypeDidChange();
    void editButtonTapped();
    void closeButtonTapped();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override {
        return orientation != UIInterfaceOrientation::PortraitUpsideDown;
    }

    int numberOfRowsInSection(UITableView*, int section) override;
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;
    void commitEditingStyle(UITableView*, UITableViewCellEditingStyle style, const NSIndexPath& indexPath) override;
    void didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;

private:
    void setLeftTitle(const std::string& key);
    void reload();

    FileMgmtControllerDelegate* delegate_ = nullptr;  // not owned
    int currentFileType_ = PhotoFolders;
    std::vector<std::string> recordDeviceArr_;
    std::vector<std::string> photoDeviceArr_;
    std::string currentRecordDevice_;
    std::string currentPhotoDevice_;
    std::shared_ptr<MediaPlayController> mediaPlayController_;
    std::shared_ptr<PhotoBrowseController> photoBrowseController_;
    QPointer<UITableView> filesTable_;
    QPointer<UISegmentedControl> segment_;
    std::shared_ptr<UIBarButtonItem> editButton_;
    std::shared_ptr<UIBarButtonItem> closeButton_;
};

}  // namespace lumora
