#pragma once

#include <memory>
#include <vector>

#include "app/core/QvFileItem.h"
#include "base/utilities/MoviePlayerEngine.h"
#include "platform/dispatch/NotificationCenter.h"
#include "ui/common/ALMoviePlayerController.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"

namespace lumora {

// The tablet's player of one stored recording: the movie player with its
// embedded controls under a toolbar with back, save to the album and
// delete. The recording list is shared with the media grid: a delete here
// removes the entry there too. Landscape only.
class SingleMediaPlayerControllerHD : public UIViewController, public ALMoviePlayerControllerDelegate {
public:
    static constexpr CGFloat kToolbarHeight = 58;

    // Engines for the movie player (empty: the FFmpeg engine).
    explicit SingleMediaPlayerControllerHD(MoviePlayerEngineFactory engines = {});
    ~SingleMediaPlayerControllerHD() override;

    void setRecords(std::shared_ptr<std::vector<QvFileItem>> records);
    std::shared_ptr<std::vector<QvFileItem>> records() const { return records_; }
    // Plays entry `index` of the records; nothing outside the list.
    void playRecordAtIndex(int index);
    int index() const { return index_; }

    // ---- actions
    void saveRecordToPhotoAlbum();
    // Stops playing and removes the recording; closes the screen when it
    // went, else tells the user and stays.
    void deleteMedia();
    void returnToMediaList();
    // The player's playback-state notification: nothing to do.
    void moviePlayerPlaybackStateDidChange(const Notification&) {}

    ALMoviePlayerController* player() const { return player_.get(); }
    UIImageView* toolBarBgView() const { return toolBarBgView_.data(); }
    // Screen tests: the player decodes on the main thread, paced by the run loop alone.
    void setEngineRunsOnMainThread(bool onMain);

    // UIViewController
    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // ALMoviePlayerControllerDelegate: back from full screen into the screen.
    void moviePlayerWillMoveFromWindow() override;

private:
    CGRect playerFrame() const;

    MoviePlayerEngineFactory engines_;
    std::shared_ptr<std::vector<QvFileItem>> records_;
    int index_ = -1;
    bool engineOnMain_ = false;
    std::unique_ptr<ALMoviePlayerController> player_;
    WeakView<UIImageView> toolBarBgView_;
    NotificationCenter::ObserverId stateObserver_ = 0;
};

}  // namespace lumora
