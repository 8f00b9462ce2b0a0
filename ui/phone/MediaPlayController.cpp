#include "ui/phone/MediaPlayController.h"

#include <algorithm>
#include <any>

#include "app/core/QvUtility.h"
#include "base/utilities/PhotoAlbum.h"
#include "platform/storage/PropertyList.h"
#include "platform/text/Localization.h"
#include "ui/common/ALMoviePlayerControls.h"
#include "ui/common/QvToastView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

MediaPlayController::MediaPlayController(MoviePlayerEngineFactory engines) : engines_(std::move(engines)) {}

MediaPlayController::~MediaPlayController() {
    if (finishObserver_) NotificationCenter::defaultCenter().removeObserver(finishObserver_);
    if (moviePlayer_) {
        moviePlayer_->setDelegate(nullptr);
        moviePlayer_->stop();
    }
}

void MediaPlayController::loadView() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    auto* v = new UIView(UIScreen::mainScreen().bounds());
    setViewName(v, "mediaPlayView");
    v->setBackgroundColor(UIColor::blackColor());
    setView(v);
}

void MediaPlayController::viewDidLoad() { canRotate_ = true; }

void MediaPlayController::viewWillAppear(bool) {
    auto save = UIBarButtonItem::withTitle(Localization::string("SavetoPhoto"), UIBarButtonItemStyle::Bordered,
                                           [this](UIBarButtonItem&) { saveRecordToPhotoAlbum(); });
    navigationItem().setRightBarButtonItem(save);
}

void MediaPlayController::playRecordAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(records_.size())) return;
    const std::string url = MPMoviePlayerController::fileURL(records_[index].fullPath());
    if (!isinit_) initMediaControl();
    configureViewForOrientation(UIApplication::sharedApplication().statusBarOrientation());
    if (!moviePlayer_) return;
    moviePlayer_->setFullscreen(false, false);
    moviePlayer_->stop();
    moviePlayer_->setContentURL(url);
}

void MediaPlayController::initMediaControl() {
    isinit_ = true;
    UIView* v = view();
    const CGRect b = v->bounds();
    moviePlayer_ = std::make_unique<ALMoviePlayerController>(CGRectMake(0, 0, b.size.width, b.size.height), engines_);
    moviePlayer_->setEngineRunsOnMainThread(engineOnMain_);
    moviePlayer_->setDelegate(this);
    auto* controls = new ALMoviePlayerControls(moviePlayer_.get(), ALMoviePlayerControlsStyleDefault);
    controls->setBarColor(UIColor::blackColor());
    controls->setTimeRemainingDecrements(true);
    moviePlayer_->setControls(controls);
    v->addSubview(moviePlayer_->view());
    // A recording that cannot be played is reported rather than left as a black picture.
    finishObserver_ = NotificationCenter::defaultCenter().addObserver(
        MPMoviePlayerPlaybackDidFinishNotification, moviePlayer_.get(),
        [this](const Notification& n) { moviePlayerPlaybackDidFinish(n); });
    configureViewForOrientation(UIApplication::sharedApplication().statusBarOrientation());
}

void MediaPlayController::configureViewForOrientation(UIInterfaceOrientation orientation) {
    const bool landscape = UIInterfaceOrientationIsLandscape(orientation);
    CGFloat w = 320, h = 480;
    switch (UIScreen::mainScreen().profile()) {
        case ScreenProfile::Tablet: w = 768, h = 1024; break;
        case ScreenProfile::Phone568: w = 320, h = 568; break;
        default: break;
    }
    defaultFrame_ = landscape ? CGRectMake(0, 0, h, w) : CGRectMake(0, 0, w, h);
    // The screen's view sits below the navigation bar here rather than under
    // it: the player keeps within the view so its bottom bar stays on screen.
    if (auto* v = viewIfLoaded()) {
        const CGRect b = v->bounds();
        if (b.size.width > 0 && b.size.height > 0) {
            defaultFrame_.size.width = std::min(defaultFrame_.size.width, b.size.width);
            defaultFrame_.size.height = std::min(defaultFrame_.size.height, b.size.height);
        }
    }
    if (moviePlayer_ && !moviePlayer_->isFullscreen()) moviePlayer_->setFrame(defaultFrame_);
}

void MediaPlayController::didRotateFromInterfaceOrientation(UIInterfaceOrientation) {
    if (auto* v = viewIfLoaded()) v->setContentMode(UIViewContentMode::Top);
    configureViewForOrientation(UIApplication::sharedApplication().statusBarOrientation());
}

bool MediaPlayController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return canRotate_ && orientation != UIInterfaceOrientation::PortraitUpsideDown;
}

void MediaPlayController::moviePlayerWillMoveFromWindow() {
    if (!moviePlayer_ || !moviePlayer_->view()) return;
    UIView* v = view();
    if (moviePlayer_->view()->superview() != v) v->addSubview(moviePlayer_->view());
    moviePlayer_->setFrame(defaultFrame_);
}

void MediaPlayController::moviePlayerExitFullscreen() {
    if (auto* v = viewIfLoaded()) v->setContentMode(UIViewContentMode::Top);
    canRotate_ = true;
}

void MediaPlayController::moviePlayerPlaybackDidFinish(const Notification& notification) {
    const auto* info = std::any_cast<PropertyList>(&notification.userInfo);
    const PropertyList* reason = info ? info->find(MPMoviePlayerPlaybackDidFinishReasonUserInfoKey) : nullptr;
    if (reason && reason->asInteger().value_or(-1) == MPMovieFinishReasonPlaybackError)
        QvUtility::showAlert(Localization::string("playerror"), Localization::string("playerrordetail"));
}

void MediaPlayController::saveRecordToPhotoAlbum() {
    if (!moviePlayer_) return;
    const std::string path = MPMoviePlayerController::filePath(moviePlayer_->contentURL());
    if (path.empty() || !PhotoAlbum::videoAtPathIsCompatibleWithSavedPhotosAlbum(path)) return;
    auto* toast = new QvToastView(Localization::string("Saved"));
    toast->presentToastView(view());
    PhotoAlbum::saveVideoAtPathToSavedPhotosAlbum(path);
}

}  // namespace lumora
