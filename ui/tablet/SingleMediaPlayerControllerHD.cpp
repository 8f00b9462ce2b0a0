#include "ui/tablet/SingleMediaPlayerControllerHD.h"

#include "base/utilities/PhotoAlbum.h"
#include "ui/common/ALMoviePlayerControls.h"
#include "ui/kit/UIColor.h"
#include "ui/tablet/MediaActionBarHD.h"

namespace lumora {

SingleMediaPlayerControllerHD::SingleMediaPlayerControllerHD(MoviePlayerEngineFactory engines)
    : engines_(std::move(engines)) {}

SingleMediaPlayerControllerHD::~SingleMediaPlayerControllerHD() {
    if (stateObserver_) NotificationCenter::defaultCenter().removeObserver(stateObserver_);
    if (player_) {
        player_->setDelegate(nullptr);
        player_->stop();
    }
}

void SingleMediaPlayerControllerHD::setRecords(std::shared_ptr<std::vector<QvFileItem>> records) {
    records_ = std::move(records);
}

void SingleMediaPlayerControllerHD::setEngineRunsOnMainThread(bool onMain) {
    engineOnMain_ = onMain;
    if (player_) player_->setEngineRunsOnMainThread(onMain);
}

bool SingleMediaPlayerControllerHD::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return UIInterfaceOrientationIsLandscape(orientation);
}

CGRect SingleMediaPlayerControllerHD::playerFrame() const {
    const UIView* v = viewIfLoaded();
    if (!v) return CGRectZero;
    const CGSize s = v->frame().size;
    return CGRectMake(0, kToolbarHeight, s.width, s.height - kToolbarHeight);
}

void SingleMediaPlayerControllerHD::loadView() {
    auto* v = new UIView(MediaActionBarHD::viewFrame(*this));
    setViewName(v, "singleMediaPlayerView");
    v->setBackgroundColor(UIColor::blackColor());
    toolBarBgView_ = MediaActionBarHD::makeBackground(v->frame().size.width);
    v->addSubview(toolBarBgView_);
    setView(v);

    // The player lives as long as the screen.
    player_ = std::make_unique<ALMoviePlayerController>(playerFrame(), engines_);
    player_->setEngineRunsOnMainThread(engineOnMain_);
    player_->setDelegate(this);
    player_->setControls(new ALMoviePlayerControls(player_.get(), ALMoviePlayerControlsStyleEmbedded));
}

void SingleMediaPlayerControllerHD::viewWillAppear(bool) {
    UIView* v = view();
    const CGFloat w = v->frame().size.width;
    if (player_) {
        player_->setControlStyle(MPMovieControlStyleEmbedded);
        if (auto* controls = player_->controls()) controls->setStyle(ALMoviePlayerControlsStyleEmbedded);
    }
    if (toolBarBgView_) {
        toolBarBgView_->setFrame(CGRectMake(0, 0, w, kToolbarHeight));
        MediaActionBarHD::installToolbar(
            toolBarBgView_, nullptr,
            MediaActionBarHD::actionsOf(*this, &SingleMediaPlayerControllerHD::returnToMediaList,
                                        &SingleMediaPlayerControllerHD::saveRecordToPhotoAlbum,
                                        &SingleMediaPlayerControllerHD::deleteMedia));
    }
    if (!stateObserver_) {
        stateObserver_ = NotificationCenter::defaultCenter().addObserver(
            MPMoviePlayerPlaybackStateDidChangeNotification, nullptr,
            [this](const Notification& n) { moviePlayerPlaybackStateDidChange(n); });
    }
    if (player_ && player_->view() && !player_->isFullscreen()) {
        player_->setFrame(playerFrame());
        if (toolBarBgView_) v->insertSubviewAboveSubview(player_->view(), toolBarBgView_);
        else v->addSubview(player_->view());
    }
}

void SingleMediaPlayerControllerHD::moviePlayerWillMoveFromWindow() {
    UIView* v = viewIfLoaded();
    if (!v || !player_ || !player_->view()) return;
    if (player_->view()->superview() != v) v->addSubview(player_->view());
    player_->setFrame(playerFrame());
}

void SingleMediaPlayerControllerHD::playRecordAtIndex(int index) {
    if (!records_ || index < 0 || index >= static_cast<int>(records_->size())) return;
    view();  // the player comes with the view
    if (!player_) return;
    // The new content plays at once.
    player_->setContentURL(MPMoviePlayerController::fileURL((*records_)[static_cast<size_t>(index)].fullPath()));
    index_ = index;
}

void SingleMediaPlayerControllerHD::saveRecordToPhotoAlbum() {
    if (!player_) return;
    const std::string path = MPMoviePlayerController::filePath(player_->contentURL());
    if (path.empty() || !PhotoAlbum::videoAtPathIsCompatibleWithSavedPhotosAlbum(path)) return;
    MediaActionBarHD::showSaved(viewIfLoaded());
    PhotoAlbum::saveVideoAtPathToSavedPhotosAlbum(path);
}

void SingleMediaPlayerControllerHD::deleteMedia() {
    if (!records_ || index_ < 0 || index_ >= static_cast<int>(records_->size())) return;
    if (player_) player_->stop();
    // A recording that stays keeps the screen open, and the user is told.
    if (!MediaActionBarHD::removeFile((*records_)[static_cast<size_t>(index_)].fullPath())) return;
    records_->erase(records_->begin() + index_);
    index_ = -1;
    dismissViewControllerAnimated(true);
}

void SingleMediaPlayerControllerHD::returnToMediaList() { dismissViewControllerAnimated(true); }

}  // namespace lumora
