#include "ui/tablet/FileMgmtControllerHD.h"

#include <algorithm>

#include "app/core/FileManager.h"
#include "app/core/QvUtility.h"
#include "platform/Log.h"
#include "platform/text/Localization.h"
#include "ui/kit/ArtResources.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/tablet/SingleImageViewControllerHD.h"
#include "ui/tablet/SingleMediaPlayerControllerHD.h"

namespace lumora {

namespace {

constexpr CGFloat kDeviceListWidth = 250;
constexpr CGFloat kGridToolbarHeight = 58;
constexpr CGFloat kSwitchWidth = 125;
constexpr CGFloat kSwitchHeight = 42;
constexpr int kFolderIconTag = 100;
// The toolbars' buttons: pictures, and titled ones.
constexpr CGSize kIconButtonSize{41, 41};
constexpr CGSize kTitledButtonSize{60, 32};
// A folder row: the folder's icon, then its name from here on.
constexpr CGFloat kFolderNameX = 60;

// The interface file: the grid's toolbar over the left part, the device
// folder list with its toolbar on the right. The grid itself is made in code.
UIView* buildFileMgmtControllerHD(void*) {
    const CGRect screen = UIScreen::mainScreen().bounds();
    // Landscape only: the long side is the width.
    const CGFloat W = std::max(screen.size.width, screen.size.height);
    const CGFloat H = std::min(screen.size.width, screen.size.height);
    auto* root = new UIView(CGRectMake(0, 0, W, H));
    setViewName(root, "FileMgmtControllerHD");
    root->setBackgroundColor(UIColor::blackColor());

    auto* fileBar = new UIToolbar(CGRectMake(0, 0, W - kDeviceListWidth - FileMgmtControllerHD::kGridGap, kGridToolbarHeight));
    setViewName(fileBar, "fileViewToolbar");
    fileBar->setBarStyle(UIBarStyle::Black);
    fileBar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    root->addSubview(fileBar);

    auto* listBar = new UIToolbar(CGRectMake(W - kDeviceListWidth, 0, kDeviceListWidth, kGridToolbarHeight));
    setViewName(listBar, "deviceTableToolbar");
    listBar->setBarStyle(UIBarStyle::Black);
    listBar->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    root->addSubview(listBar);

    auto* list = new UITableView(CGRectMake(W - kDeviceListWidth, kGridToolbarHeight, kDeviceListWidth, H - kGridToolbarHeight));
    setViewName(list, "deviceListTable");
    list->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleHeight);
    root->addSubview(list);
    return root;
}

struct ItemButton {
    const char* name;
    const char* image;  // the highlighted one is "<image>_clk.png"
    const char* titleKey;
    CGSize size;
    void (FileMgmtControllerHD::*action)();
};

std::shared_ptr<UIBarButtonItem> makeItem(FileMgmtControllerHD* owner, const ItemButton& item) {
    auto* b = new UIButton(CGRectMake(0, 0, item.size.width, item.size.height));
    setViewName(b, item.name);
    b->setBackgroundImage(UIImage::imageNamed(std::string(item.image) + ".png"), UIControlStateNormal);
    b->setBackgroundImage(UIImage::imageNamed(std::string(item.image) + "_clk.png"), UIControlStateHighlighted);
    if (item.titleKey) {
        b->setTitle(Localization::string(item.titleKey));
        b->setFont(UIFont::fontWithName("Verdana-Bold", 12));
    }
    auto action = item.action;
    b->addTarget(owner, [owner, action](UIControl*, UIEvent*) { (owner->*action)(); }, UIControlEventTouchUpInside);
    return UIBarButtonItem::withCustomView(b);
}

// A picture of the application's resources read from its file (not cached).
std::shared_ptr<UIImage> resourceImage(const std::string& name) {
    const std::string path = ArtResources::imagePath(name + ".png", static_cast<int>(UIScreen::mainScreen().scale()));
    return path.empty() ? nullptr : UIImage::imageWithContentsOfFile(path);
}

// A two-picture switch: its own subviews go, the pictures come from the resources.
CQSegmentControlHD* makeSwitch(const char* name, const char* first, const char* second) {
    const std::string empty = Localization::string("");
    auto* s = new CQSegmentControlHD({CQSegmentItem{empty, nullptr}, CQSegmentItem{empty, nullptr}},
                                     CQSegmentControlHD::kImageStyle);
    setViewName(s, name);
    for (UIView* sub : s->subviews()) {
        sub->removeFromSuperview();
        sub->deleteLater();
    }
    s->setNormalImage(resourceImage(first), 0);
    s->setNormalImage(resourceImage(second), 1);
    s->setHighlightedImage(resourceImage(std::string(first) + "_clk"), 0);
    s->setHighlightedImage(resourceImage(std::string(second) + "_clk"), 1);
    return s;
}

void deleteIfOrphan(UIView* v) {
    if (v && !v->superview()) delete v;
}

}  // namespace

void FileMgmtControllerHD::registerInterface() {
    if (!InterfaceFile::exists(kInterfaceName)) InterfaceFile::registerFile(kInterfaceName, buildFileMgmtControllerHD);
}

FileMgmtControllerHD::FileMgmtControllerHD() {
    using F = FileMgmtControllerHD;
    homeBtn_ = makeItem(this, {"homeBtn", "home", nullptr, kIconButtonSize, &F::homeItemClicked});
    editListBtn_ = makeItem(this, {"editListBtn", "edit", nullptr, kIconButtonSize, &F::editListItemClicked});
    doneEditListBtn_ = makeItem(this, {"doneEditListBtn", "none", "Save", kTitledButtonSize, &F::doneEditListItemClicked});
    cancelEditListBtn_ =
        makeItem(this, {"cancelEditListBtn", "none", "COMP", kTitledButtonSize, &F::cancelEditListItemClicked});

    auto* imgVdo = makeSwitch("segmentedImgVdoControl", "photoseg", "videoseg");
    imgVdo->delegate_ = this;
    imgVdo->setFrame(CGRectMake(imgVdo->frame().origin.x, imgVdo->frame().origin.y, kSwitchWidth, kSwitchHeight));
    segmentedImgVdoControl_ = imgVdo;

    auto* listView = makeSwitch("segmentedListViewControl", "viewseg", "listseg");
    listView->setSegmentedControlStyle(0);
    listView->delegate_ = this;
    listView->setFrame(CGRectMake(listView->frame().origin.x, 0, kSwitchWidth, kSwitchHeight));
    segmentedListViewControl_ = listView;

    curViewMode_ = 0;
    curDeviceIdx_ = -1;
}

FileMgmtControllerHD::~FileMgmtControllerHD() {
    if (deviceListTable) {
        deviceListTable->dataSource = nullptr;
        deviceListTable->setDelegate(nullptr);
    }
    if (fileViewMgmtController_) fileViewMgmtController_->setDelegate(nullptr);
    for (auto* s : {segmentedImgVdoControl_.data(), segmentedListViewControl_.data()})
        if (s) s->delegate_ = nullptr;
    // What no toolbar shows now is ours to delete.
    for (const auto& item : {homeBtn_, editListBtn_, doneEditListBtn_, cancelEditListBtn_})
        if (item) deleteIfOrphan(item->customView());
    deleteIfOrphan(segmentedImgVdoControl_.data());
    deleteIfOrphan(segmentedListViewControl_.data());
    deleteIfOrphan(fileListTable_.data());
}

std::shared_ptr<UIBarButtonItem> FileMgmtControllerHD::flexibleSpace() const {
    return UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr);
}

void FileMgmtControllerHD::loadView() {
    registerInterface();
    UIView* root = InterfaceFile::load(kInterfaceName, this);
    setView(root);
    deviceListTable = root->viewWithName<UITableView>("deviceListTable");
    deviceTableToolbar = root->viewWithName<UIToolbar>("deviceTableToolbar");
    fileViewToolbar = root->viewWithName<UIToolbar>("fileViewToolbar");
    if (deviceListTable) {
        deviceListTable->dataSource = this;
        deviceListTable->setDelegate(this);
    }
}

void FileMgmtControllerHD::setSwitchesTakeTouches(bool on) {
    for (auto* s : {segmentedImgVdoControl_.data(), segmentedListViewControl_.data()})
        if (s) s->setUserInteractionEnabled(on);
}

void FileMgmtControllerHD::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    if (segmentedImgVdoControl_) segmentedImgVdoControl_->setSelectedSegmentIndex(curViewMode_ / kMediumBit);
    if (segmentedListViewControl_) segmentedListViewControl_->setSelectedSegmentIndex(curViewMode_ & kListBit);
    setSwitchesTakeTouches(true);

    if (fileViewToolbar)
        fileViewToolbar->setItems({UIBarButtonItem::withCustomView(segmentedListViewControl_), flexibleSpace(),
                                   UIBarButtonItem::withCustomView(segmentedImgVdoControl_), flexibleSpace()},
                                  true);
    if (deviceTableToolbar) deviceTableToolbar->setItems({flexibleSpace(), homeBtn_, flexibleSpace(), editListBtn_}, true);

    allDeviceDirs_ = FileManager::sharedInstance().getAllDeviceFolders().value_or(std::vector<std::string>{});
    if (deviceListTable) {
        deviceListTable->setBackgroundColor(UIColor::clearColor());
        deviceListTable->reloadData();
    }

    const CGRect b = view()->bounds();
    const CGFloat listWidth = deviceListTable ? deviceListTable->bounds().size.width : 0;
    const CGRect gridFrame = CGRectMake(0, kGridTop, b.size.width - listWidth - kGridGap, b.size.height - kGridTop);
    fileViewMgmtController_ = std::make_shared<FileViewMgmtControllerHD>();
    fileViewMgmtController_->view()->setFrame(gridFrame);
    fileViewMgmtController_->setDelegate(this);
    auto* listTable = new UITableView(gridFrame, UITableViewStyle::Plain);
    setViewName(listTable, "fileListTable");
    fileListTable_ = listTable;

    loadMedias();
    loadFileViewAreaForEdit(false);

    view()->setBackgroundColor(UIColor::blackColor());
    // The list presentation is not offered: the screen always shows the grid.
    if (segmentedListViewControl_) segmentedListViewControl_->setHidden(true);
}

void FileMgmtControllerHD::reloadDeviceDirs() {
    allDeviceDirs_ = FileManager::sharedInstance().getAllDeviceFolders().value_or(std::vector<std::string>{});
    if (deviceListTable) deviceListTable->reloadData();
}

void FileMgmtControllerHD::viewWillAppear(bool) {
    reloadDeviceDirs();
    if (!fileViewMgmtController_) return;
    loadMedias();
    loadFileViewAreaForEdit(false);
}

void FileMgmtControllerHD::loadMedias() {
    auto grid = fileViewMgmtController_;
    if (!grid) return;
    using List = std::vector<QvFileItem>;
    const int folders = static_cast<int>(allDeviceDirs_.size());
    if (curDeviceIdx_ == -1) {
        if (folders == 0) {
            grid->setPhotos(std::make_shared<List>());
            grid->setVideos(std::make_shared<List>());
            grid->loadFiles();
            return;
        }
        curDeviceIdx_ = 0;
    }
    if (curDeviceIdx_ >= 0 && curDeviceIdx_ < folders) {
        auto& files = FileManager::sharedInstance();
        const std::string& name = allDeviceDirs_[static_cast<size_t>(curDeviceIdx_)];
        grid->setPhotos(std::make_shared<List>(files.getAllPhotosForDevice(name)));
        grid->setVideos(std::make_shared<List>(files.getAllRecordsForDevice(name)));
    } else {
        grid->setPhotos(std::make_shared<List>());
        grid->setVideos(std::make_shared<List>());
    }
    grid->loadFiles();
}

void FileMgmtControllerHD::loadFileViewAreaForEdit(bool edit) {
    auto grid = fileViewMgmtController_;
    if (!grid) return;
    UIView* v = view();
    UIView* gridView = grid->view();
    if ((curViewMode_ & kListBit) == 0) {
        if (fileListTable_ && fileListTable_->superview()) fileListTable_->removeFromSuperview();
        if (gridView->superview() != v) v->addSubview(gridView);
        grid->setLayoutType(curViewMode_ / kMediumBit, edit);
        return;
    }
    if (gridView->superview()) gridView->removeFromSuperview();
    if (!fileListTable_) return;
    if (fileListTable_->superview() != v) v->addSubview(fileListTable_);
    if (edit) fileListTable_->setEditing(true, true);
    else if (fileListTable_->isEditing()) fileListTable_->setEditing(false, true);
    else fileListTable_->reloadData();
}

// ---- actions

void FileMgmtControllerHD::homeItemClicked() { dismissViewControllerAnimated(true); }

void FileMgmtControllerHD::editListItemClicked() {
    if (deviceTableToolbar)
        deviceTableToolbar->setItems({flexibleSpace(), homeBtn_, flexibleSpace(), cancelEditListBtn_}, true);
    if (deviceListTable) deviceListTable->setEditing(true, false);
    loadFileViewAreaForEdit(true);
    setSwitchesTakeTouches(false);
}

void FileMgmtControllerHD::doneEditListItemClicked() {
    if (deviceTableToolbar) deviceTableToolbar->setItems({flexibleSpace(), homeBtn_, flexibleSpace(), editListBtn_}, true);
    if (deviceListTable) deviceListTable->setEditing(false, true);
    setSwitchesTakeTouches(true);
    reloadDeviceDirs();
    loadMedias();
    loadFileViewAreaForEdit(false);
}

void FileMgmtControllerHD::cancelEditListItemClicked() { doneEditListItemClicked(); }

void FileMgmtControllerHD::deviceFolderClicked(UIButton* sender) {
    if (!sender || sender->tag() < 0) return;
    curDeviceIdx_ = sender->tag();
    loadMedias();
    loadFileViewAreaForEdit(deviceListTable && deviceListTable->isEditing());
    if (deviceListTable) deviceListTable->reloadData();
}

void FileMgmtControllerHD::segmentControlValueChanged(CQSegmentControlHD* control, int oldValue, int newValue) {
    if (oldValue == newValue || !control) return;
    if (control == segmentedImgVdoControl_.data()) segmentImgVdoChanged();
    else if (control == segmentedListViewControl_.data()) segmentListViewChanged();
}

void FileMgmtControllerHD::segmentImgVdoChanged() {
    curViewMode_ ^= kMediumBit;
    loadFileViewAreaForEdit(false);
}

void FileMgmtControllerHD::segmentListViewChanged() {
    curViewMode_ ^= kListBit;
    loadFileViewAreaForEdit(false);
}

// ---- the grid

void FileMgmtControllerHD::longPressedCatchedInFileViewController(FileViewMgmtControllerHD*, bool editable) {
    if (editable) doneEditListItemClicked();
    else editListItemClicked();
}

void FileMgmtControllerHD::showTappedImageForIndex(int index) {
    if (!fileViewMgmtController_ || presentedViewController()) return;
    auto viewer = std::make_shared<SingleImageViewControllerHD>();
    viewer->setPhotos(fileViewMgmtController_->photos());
    const CGRect f = view()->frame();
    viewer->view()->setFrame(CGRectMake(0, 0, f.size.width, f.size.height));
    presentModalViewController(viewer, true);
    viewer->loadPhotos(index);
    viewer->setDelegate(this);
}

void FileMgmtControllerHD::playTappedVideoForIndex(int index) {
    if (!fileViewMgmtController_ || presentedViewController()) return;
    auto player = std::make_shared<SingleMediaPlayerControllerHD>();
    player->setRecords(fileViewMgmtController_->videos());
    const CGRect f = view()->frame();
    player->view()->setFrame(CGRectMake(0, 0, f.size.width, f.size.height));
    presentModalViewController(player, true);
    player->playRecordAtIndex(index);
}

void FileMgmtControllerHD::singleImageViewControllerPinch(SingleImageViewControllerHD* viewer, double& scale) {
    // A pinch that closes the fingers (any scale below 1) closes the viewer.
    if (!(scale >= 1.0) && viewer) viewer->dismissViewControllerAnimated(true);
    scale = 1.0;
}

// ---- the device folder list

int FileMgmtControllerHD::numberOfRowsInSection(UITableView*, int) { return static_cast<int>(allDeviceDirs_.size()); }

UITableViewCell* FileMgmtControllerHD::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& indexPath) {
    UITableViewCell* cell = table ? table->dequeueReusableCellWithIdentifier("FileDeviceDirCell") : nullptr;
    if (!cell) cell = new UITableViewCell(UITableViewCellStyle::Value2, "FileDeviceDirCell");
    // What an earlier use of the cell added.
    if (UIView* content = cell->contentView())
        for (UIView* sub : content->subviews())
            if (dynamic_cast<UIButton*>(sub)) {
                sub->removeFromSuperview();
                sub->deleteLater();
            }
    cell->setBackgroundColor(UIColor::clearColor());

    const int row = indexPath.row;
    const CGFloat listWidth = deviceListTable ? deviceListTable->bounds().size.width : cell->bounds().size.width;
    const CGFloat h = cell->bounds().size.height;
    auto* button = new UIButton(CGRectMake(0, 0, listWidth, h));
    setViewName(button, "deviceFolderButton");
    button->setBackgroundImage(UIImage::imageNamed("cellseg.png"), UIControlStateNormal);
    button->setBackgroundImage(UIImage::imageNamed("cell_clk.png"), UIControlStateSelected);
    button->setTag(row);
    button->setSelected(row == curDeviceIdx_);
    button->setBackgroundColor(UIColor::clearColor());
    button->addTarget(this, [this](UIControl* c, UIEvent*) { deviceFolderClicked(dynamic_cast<UIButton*>(c)); },
                      UIControlEventTouchUpInside);

    auto* icon = new UIImageView(UIImage::imageNamed("devicefolder.png"));
    icon->setTag(kFolderIconTag);
    icon->setFrame(CGRectMake(10, (h - 30) / 2, 32, 30));
    button->addSubview(icon);
    auto* label = new UILabel(CGRectMake(kFolderNameX, 0, listWidth - kFolderNameX, h));
    setViewName(label, "deviceFolderLabel");
    if (row >= 0 && row < static_cast<int>(allDeviceDirs_.size())) label->setText(allDeviceDirs_[static_cast<size_t>(row)]);
    label->setFont(UIFont::boldSystemFontOfSize(14));
    label->setTextColor(UIColor::whiteColor());
    label->setTextAlignment(UITextAlignment::Left);
    label->setBackgroundColor(UIColor::clearColor());
    button->addSubview(label);
    if (UIView* content = cell->contentView()) content->addSubview(button);
    else cell->addSubview(button);
    return cell;
}

void FileMgmtControllerHD::commitEditingStyle(UITableView*, UITableViewCellEditingStyle style, const NSIndexPath& indexPath) {
    if (style != UITableViewCellEditingStyle::Delete) return;
    const int row = indexPath.row;
    if (row < 0 || row >= static_cast<int>(allDeviceDirs_.size())) return;
    const std::string name = allDeviceDirs_[static_cast<size_t>(row)];
    if (!FileManager::sharedInstance().removeDeviceFolder(name)) {
        // The folder is still there: its row stays, and the user is told.
        Log::warn("media", "could not remove the media folders of %s", name.c_str());
        QvUtility::showAlert(Localization::string("DeleteFailed"), Localization::string("DeleteFailedDetail"));
        return;
    }
    allDeviceDirs_.erase(allDeviceDirs_.begin() + row);
    curDeviceIdx_ = allDeviceDirs_.empty() ? -1 : 0;
    // Reloaded after the new selection, so that its row shows selected.
    if (deviceListTable) deviceListTable->reloadData();
    loadMedias();
}

}  // namespace lumora
