#include "ui/phone/FileMgmtController.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/core/FileManager.h"
#include "app/core/QvUtility.h"
#include "platform/text/Localization.h"
#include "ui/kit/NSIndexPath.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/phone/MediaPlayController.h"
#include "ui/phone/PhotoBrowseController.h"

namespace lumora {

namespace {

// The files' list fills the screen under the navigation bar, whose title is
// the choice between photos and recordings.
constexpr CGFloat kNavigationBarHeight = 44;
constexpr CGRect kTypeSegmentFrame{{0, 0}, {160, 30}};

}  // namespace

FileMgmtController::FileMgmtController(MoviePlayerEngineFactory engines)
    : mediaPlayController_(std::make_shared<MediaPlayController>(std::move(engines))),
      photoBrowseController_(std::make_shared<PhotoBrowseController>()) {}

FileMgmtController::~FileMgmtController() {
    if (filesTable_) {
        filesTable_->dataSource = nullptr;
        filesTable_->setDelegate(nullptr);
    }
}

void FileMgmtController::loadView() {
    const CGRect screen = UIScreen::mainScreen().bounds();
    auto* v = new UIView(screen);
    setViewName(v, "fileMgmtView");
    auto* table = new UITableView(CGRectMake(0, 0, screen.size.width, screen.size.height - kNavigationBarHeight));
    setViewName(table, "filesTable");
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    v->addSubview(table);
    filesTable_ = table;
    setView(v);
}

void FileMgmtController::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    if (auto* nav = navigationController()) nav->navigationBar()->setBarStyle(UIBarStyle::Black);
    auto* segment = new UISegmentedControl({Localization::string("Photos"), Localization::string("Records")});
    setViewName(segment, "fileTypeSegment");
    segment->setFrame(kTypeSegmentFrame);
    segment->setSelectedSegmentIndex(0);
    segment->addTarget(this, [this](UIControl*, UIEvent*) { fileTypeDidChange(); }, UIControlEventValueChanged);
    segment_ = segment;
    navigationItem().setTitleView(segment);
    editButton_ = UIBarButtonItem::withTitle(Localization::string("Edit_Button"), UIBarButtonItemStyle::Bordered,
                                             [this](UIBarButtonItem&) { editButtonTapped(); });
    closeButton_ = UIBarButtonItem::withTitle(Localization::string("Cancel_Button"), UIBarButtonItemStyle::Bordered,
                                              [this](UIBarButtonItem&) { closeButtonTapped(); });
    navigationItem().setRightBarButtonItem(editButton_);
    navigationItem().setLeftBarButtonItem(closeButton_);
    if (filesTable_) {
        filesTable_->dataSource = this;
        filesTable_->setDelegate(this);
    }
}

void FileMgmtController::setLeftTitle(const std::string& key) {
    if (!closeButton_) return;
    closeButton_->title = Localization::string(key);
    navigationItem().setLeftBarButtonItem(closeButton_);
}

void FileMgmtController::reload() {
    if (filesTable_) filesTable_->reloadData();
}

void FileMgmtController::viewWillAppear(bool) {
    auto& files = FileManager::sharedInstance();
    photoDeviceArr_ = files.getPhotoDeviceFolders();
    recordDeviceArr_ = files.getRecordDeviceFolders();
    if (currentFileType_ == RecordFolders) mediaPlayController_->setRecords(files.getAllRecords().value_or(std::vector<QvFileItem>{}));
    else if (currentFileType_ == PhotoFolders) photoBrowseController_->setPhotos(files.getAllPhotos().value_or(std::vector<QvFileItem>{}));
    reload();
    // The row tapped to open a folder or a file only marked the tap.
    if (filesTable_)
        if (auto sel = filesTable_->indexPathForSelectedRow()) filesTable_->deselectRowAtIndexPath(*sel, false);
}

void FileMgmtController::fileTypeDidChange() {
    if (!segment_) return;
    setLeftTitle("Cancel_Button");
    auto& files = FileManager::sharedInstance();
    if (segment_->selectedSegmentIndex() == 0) {
        currentFileType_ = PhotoFolders;
        photoBrowseController_->setPhotos(files.getAllPhotos().value_or(std::vector<QvFileItem>{}));
    } else {
        currentFileType_ = RecordFolders;
        mediaPlayController_->setRecords(files.getAllRecords().value_or(std::vector<QvFileItem>{}));
    }
    reload();
}

void FileMgmtController::editButtonTapped() {
    if (!filesTable_) return;
    const bool editing = !filesTable_->isEditing();
    filesTable_->setEditing(editing, true);
    if (editButton_) {
        editButton_->title = Localization::string(editing ? "DONE_BUTTON" : "Edit_Button");
        navigationItem().setRightBarButtonItem(editButton_);
    }
    if (segment_) segment_->setUserInteractionEnabled(!editing);
}

void FileMgmtController::closeButtonTapped() {
    setLeftTitle("Cancel_Button");
    if (currentFileType_ == RecordFiles) {
        currentFileType_ = RecordFolders;
        reload();
    } else if (currentFileType_ == PhotoFiles) {
        currentFileType_ = PhotoFolders;
        reload();
    } else if (delegate_) {
        delegate_->fileMgmtControllerDidClose(this);
    }
}

int FileMgmtController::numberOfRowsInSection(UITableView*, int) {
    auto& files = FileManager::sharedInstance();
    switch (currentFileType_) {
        case RecordFolders: return static_cast<int>(recordDeviceArr_.size());
        case PhotoFolders: return static_cast<int>(photoDeviceArr_.size());
        case PhotoFiles:
            photoBrowseController_->setPhotos(files.getAllPhotosForDevice(currentPhotoDevice_));
            return static_cast<int>(photoBrowseController_->photos().size());
        case RecordFiles:
            mediaPlayController_->setRecords(files.getAllRecordsForDevice(currentRecordDevice_));
            return static_cast<int>(mediaPlayController_->records().size());
        default: return 0;
    }
}

UITableViewCell* FileMgmtController::cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Subtitle, "FileCell");
    cell->textLabel()->setFont(UIFont::fontWithName("Verdana-Bold", 14));
    cell->detailTextLabel()->setFont(UIFont::fontWithName("Verdana", 12));
    const size_t row = static_cast<size_t>(indexPath.row);
    const std::vector<std::string>* folders = currentFileType_ == RecordFolders ? &recordDeviceArr_
                                              : currentFileType_ == PhotoFolders ? &photoDeviceArr_
                                                                                 : nullptr;
    if (folders) {
        cell->imageView()->setImage(UIImage::imageNamed("file.png"));
        cell->textLabel()->setText(row < folders->size() ? (*folders)[row] : std::string());
        cell->detailTextLabel()->setText("");
        return cell;
    }
    const auto& items = currentFileType_ == PhotoFiles ? photoBrowseController_->photos() : mediaPlayController_->records();
    cell->imageView()->setImage(UIImage::imageNamed("file_icon.png"));
    if (row < items.size()) {
        const QvFileItem& item = items[row];
        cell->textLabel()->setText(item.name);
        char detail[512];
        std::snprintf(detail, sizeof detail, "%s, channel: %02d, size: %dKb", item.deviceName.c_str(), item.channel,
                      static_cast<int>(item.size / 1000));
        cell->detailTextLabel()->setText(detail);
    }
    return cell;
}

void FileMgmtController::didSelectRowAtIndexPath(UITableView* table, const NSIndexPath& indexPath) {
    // Opening a folder or a file keeps no row marked behind it.
    if (table) table->deselectRowAtIndexPath(indexPath, false);
    const int row = indexPath.row;
    auto* nav = navigationController();
    switch (currentFileType_) {
        case RecordFolders:
            if (row < 0 || row >= static_cast<int>(recordDeviceArr_.size())) return;
            setLeftTitle("NAV_BAR_TITLE");
            currentRecordDevice_ = recordDeviceArr_[row];
            currentFileType_ = RecordFiles;
            reload();
            break;
        case PhotoFolders:
            if (row < 0 || row >= static_cast<int>(photoDeviceArr_.size())) return;
            setLeftTitle("NAV_BAR_TITLE");
            currentPhotoDevice_ = photoDeviceArr_[row];
            currentFileType_ = PhotoFiles;
            reload();
            break;
        case PhotoFiles:
            photoBrowseController_->setCurrentPage(row);
            if (nav) nav->pushViewController(photoBrowseController_, true);
            break;
        case RecordFiles:
            if (nav) nav->pushViewController(mediaPlayController_, true);
            mediaPlayController_->playRecordAtIndex(row);
            break;
        default: break;
    }
}

void FileMgmtController::commitEditingStyle(UITableView*, UITableViewCellEditingStyle style, const NSIndexPath& indexPath) {
    if (style != UITableViewCellEditingStyle::Delete) return;
    const size_t row = static_cast<size_t>(indexPath.row);
    auto& files = FileManager::sharedInstance();
    auto tellNotDeleted = [] {
        QvUtility::showAlert(Localization::string("DeleteFailed"), Localization::string("DeleteFailedDetail"));
    };
    if (currentFileType_ == RecordFolders || currentFileType_ == PhotoFolders) {
        auto& folders = currentFileType_ == RecordFolders ? recordDeviceArr_ : photoDeviceArr_;
        if (row >= folders.size()) return;
        const bool removed = currentFileType_ == RecordFolders ? files.removerecordDeviceFolder(folders[row])
                                                               : files.removePhotoDeviceFolder(folders[row]);
        if (!removed) {
            tellNotDeleted();
            return;
        }
        folders.erase(folders.begin() + static_cast<long>(row));
        reload();
        return;
    }
    auto& items = currentFileType_ == PhotoFiles ? photoBrowseController_->photos() : mediaPlayController_->records();
    if (row >= items.size()) return;
    std::error_code ec;
    if (!std::filesystem::remove(items[row].fullPath(), ec) || ec) {
        tellNotDeleted();
        return;
    }
    items.erase(items.begin() + static_cast<long>(row));
    reload();
}

}  // namespace lumora
