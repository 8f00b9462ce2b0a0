#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/QvFileItem.h"
#include "base/utilities/MoviePlayerEngine.h"
#include "platform/dispatch/NotificationCenter.h"
#include "ui/common/ALMoviePlayerController.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

// The phone's player of the stored recordings of one device folder: the
// movie player with its controls over the whole width, and saving the
// shown recording to the photo album.
class MediaPlayController : public UIViewController, public ALMoviePlayerControllerDelegate {
public:
    // Engines for the movie player (empty: the FFmpeg engine).
    explicit MediaPlayController(MoviePlayerEngineFactory engines = {});
    ~MediaPlayController() override;

    std::vector<QvFileItem>& records() { return records_; }
    void setRecords(std::vector<QvFileItem> records) { records_ = std::move(records); }

    ALMoviePlayerController* moviePlayer() const { return moviePlayer_.get(); }
    bool isinit() const { return isinit_; }
    bool canRotate() const { return canRotate_; }
    const CGRect& defaultFrame() const { return defaultFrame_; }
    // Screen tests: the player decodes on the main thread, paced by the run loop alone.
    void setEngineRunsOnMainThread(bool onMain) { engineOnMain_ = onMain; }

    void playRecordAtIndex(int index);
    void initMediaControl();
    void configureViewForOrientation(UIInterfaceOrientation orientation);
    void saveRecordToPhotoAlbum();

    // Offered for a caller that subscribes them.
    void moviePlayerEnterFullscreen() { canRotate_ = false; }
    void moviePlayerExitFullscreen();
    void moviePlayerPlaybackDidFinish(const Notification& notification);

    // ALMoviePlayerControllerDelegate
    void moviePlayerWillMoveFromWindow() override;
    void movieTimedOut() override {}

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

private:
    MoviePlayerEngineFactory engines_;
    std::vector<QvFileItem> records_;
    std::unique_ptr<ALMoviePlayerController> moviePlayer_;
    bool isinit_ = false;
    bool canRotate_ = false;
    bool engineOnMain_ = false;
    CGRect defaultFrame_{};
    NotificationCenter::ObserverId finishObserver_ = 0;
};

}  // namespace lumora
