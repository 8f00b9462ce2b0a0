#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/common/CQSegmentControlHD.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UIToolbar.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/FileMgmtControllerHDDelegate.h"
#include "ui/tablet/FileViewMgmtControllerHD.h"
#include "ui/tablet/SingleImageViewControllerDelegate.h"

namespace lumora {

// The tablet's browser of stored snapshots and recordings: the device
// folders in a list on the right, the photos or the recordings of the
// selected folder in the paged grid on the left, a switch between the two
// media above the grid. A tap on an item opens the photo viewer or the
// recording player on the same list; edit mode deletes whole folders and
// single items. Made from the interface file "FileMgmtControllerHD"; the
// home screen presents a new one each time and its home button dismisses
// it. Landscape only. Main thread only.
class FileMgmtControllerHD : public UIViewController,
                             public UITableViewDataSource,
                             public UITableViewDelegate,
                             public FileMgmtControllerHDDelegate,
                             public CQSegmentControlDelegate,
                             public SingleImageViewControllerDelegate {
public:
    static constexpr const char* kInterfaceName = "FileMgmtControllerHD";
    static constexpr CGFloat kGridTop = 58;
    static constexpr CGFloat kGridGap = 12;
    // curViewMode: bit 1 the medium (0 photos, 1 recordings), bit 0 the presentation (0 grid, 1 list).
    static constexpr int kMediumBit = 2;
    static constexpr int kListBit = 1;

    FileMgmtControllerHD();
    ~FileMgmtControllerHD() override;
    static void registerInterface();

    // ---- outlets of the interface file
    WeakView<UITableView> deviceListTable;
    WeakView<UIToolbar> deviceTableToolbar;
    WeakView<UIToolbar> fileViewToolbar;

    int curViewMode() const { return curViewMode_; }
    int curDeviceIdx() const { return curDeviceIdx_; }
    const std::vector<std::string>& allDeviceDirs() const { return allDeviceDirs_; }
    const std::shared_ptr<FileViewMgmtControllerHD>& fileViewMgmtController() const { return fileViewMgmtController_; }
    UITableView* fileListTable() const { return fileListTable_.data(); }
    CQSegmentControlHD* segmentedImgVdoControl() const { return segmentedImgVdoControl_.data(); }
    CQSegmentControlHD* segmentedListViewControl() const { return segmentedListViewControl_.data(); }
    const std::shared_ptr<UIBarButtonItem>& homeBtn() const { return homeBtn_; }
    const std::shared_ptr<UIBarButtonItem>& editListBtn() const { return editListBtn_; }
    const std::shared_ptr<UIBarButtonItem>& doneEditListBtn() const { return doneEditListBtn_; }
    const std::shared_ptr<UIBarButtonItem>& cancelEditListBtn() const { return cancelEditListBtn_; }

    // ---- actions
    void homeItemClicked();
    void editListItemClicked();
    void doneEditListItemClicked();
    void cancelEditListItemClicked();
    // The button filling a folder row; its tag is the row.
    void deviceFolderClicked(UIButton* sender);
    void segmentImgVdoChanged();
    void segmentListViewChanged();
    void loadMedias();
    void loadFileViewAreaForEdit(bool edit);

    // ---- UIViewController
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }

    // ---- the device folder list
    int numberOfRowsInSection(UITableView*, int section) override;
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;
    void commitEditingStyle(UITableView*, UITableViewCellEditingStyle style, const NSIndexPath& indexPath) override;

    // ---- CQSegmentControlDelegate
    void segmentControlValueChanged(CQSegmentControlHD* control, int oldValue, int newValue) override;

    // ---- FileMgmtControllerHDDelegate (the grid)
    void longPressedCatchedInFileViewController(FileViewMgmtControllerHD* grid, bool editable) override;
    void showTappedImageForIndex(int index) override;
    void playTappedVideoForIndex(int index) override;
    void cancleEditStatus() override { doneEditListItemClicked(); }
    void fileViewDeleteAtIndex(int) override {}

    // ---- SingleImageViewControllerDelegate
    void singleImageViewControllerPinch(SingleImageViewControllerHD* viewer, double& scale) override;
    void singleImageViewControllerDismiss(SingleImageViewControllerHD*) override {}

private:
    void reloadDeviceDirs();
    void setSwitchesTakeTouches(bool on);
    std::shared_ptr<UIBarButtonItem> flexibleSpace() const;

    std::shared_ptr<UIBarButtonItem> homeBtn_, editListBtn_, doneEditListBtn_, cancelEditListBtn_;
    WeakView<CQSegmentControlHD> segmentedImgVdoControl_, segmentedListViewControl_;
    std::shared_ptr<FileViewMgmtControllerHD> fileViewMgmtController_;
    WeakView<UITableView> fileListTable_;
    std::vector<std::string> allDeviceDirs_;
    int curViewMode_ = 0;
    int curDeviceIdx_ = -1;
};

}  // namespace lumora
