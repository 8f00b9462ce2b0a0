#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIView.h"

namespace lumora {

class MBProgressHUD;
class RunLoopTimer;

class MBProgressHUDDelegate {
public:
    virtual ~MBProgressHUDDelegate() = default;
    // The overlay has gone (after every hide).
    virtual void hudWasHidden(MBProgressHUD*) {}
};

// Raised only for a programmer's mistake: an overlay made for no view.
class MBProgressHUDViewIsNillException : public std::invalid_argument {
public:
    MBProgressHUDViewIsNillException()
        : std::invalid_argument("The view used in the MBProgressHUD initializer is nil.") {}
    static constexpr const char* name = "MBProgressHUDViewIsNillException";
};

enum MBProgressHUDMode { MBProgressHUDModeIndeterminate = 0, MBProgressHUDModeDeterminate = 1, MBProgressHUDModeCustomView = 2 };
enum MBProgressHUDAnimation { MBProgressHUDAnimationFade = 0, MBProgressHUDAnimationZoom = 1 };

// A translucent rounded panel over a view while work is under way: a
// spinner, a progress dial or a custom view, an optional label and details
// label. It fades (optionally zooming) in and out on the main run loop's
// clock, can wait a grace time before it appears and stay a minimum time,
// and can run a task on a background thread and hide itself when the task
// returns (or throws).
//
// Mode, texts and progress may be set from any thread; their view work is
// queued to the main thread. Everything else is main-thread only. The
// superview owns the overlay.
class MBProgressHUD : public UIView {
public:
    static constexpr double kAnimationSeconds = 0.3;

    // Throws MBProgressHUDViewIsNillException for a null view.
    explicit MBProgressHUD(UIView* view);
    ~MBProgressHUD() override;

    // A new overlay on top of the view, labelled and shown. Null for a null view.
    static MBProgressHUD* showHUDAddedTo(UIView* view, bool animated, const std::string& text);
    // Hides (and removes) the last overlay among the view's subviews; false when there is none.
    static bool hideHUDForView(UIView* view, bool animated);

    void show(bool animated);
    void hide(bool animated);
    // Runs the task on a new thread, shows the overlay meanwhile and hides it
    // when the task has returned or thrown.
    void showWhileExecuting(std::function<void()> task, bool animated);

    // ---- settings (any thread)
    int mode() const;
    void setMode(int mode);
    std::string labelText() const;
    void setLabelText(const std::string& text);
    std::string detailsLabelText() const;
    void setDetailsLabelText(const std::string& text);
    float progress() const;
    void setProgress(float progress);

    // ---- settings (main thread)
    int animationType = MBProgressHUDAnimationFade;
    UIFont labelFont = UIFont::boldSystemFontOfSize(16);
    UIFont detailsLabelFont = UIFont::boldSystemFontOfSize(12);
    float opacity = 0.8f;
    float xOffset = 0;
    float yOffset = 0;
    float graceTime = 0;
    float minShowTime = 0;
    bool removeFromSuperViewOnHide = false;
    MBProgressHUDDelegate* delegate = nullptr;  // not owned
    UIView* customView() const { return customView_.data(); }
    void setCustomView(UIView* view);

    // ---- state
    float width() const { return width_; }
    float height() const { return height_; }
    bool taskInProgress() const { return taskInProgress_; }
    bool isFinished() const { return isFinished_; }
    // When the panel last appeared (run-loop clock seconds; < 0: never).
    double showStarted() const { return showStarted_; }
    UIView* indicator() const { return indicator_.data(); }
    UILabel* label() const { return label_.data(); }
    UILabel* detailsLabel() const { return detailsLabel_.data(); }
    // Rotation applied for the status bar orientation when the overlay sits in a window (degrees).
    int rotationDegrees() const { return rotation_; }

    void layoutSubviews() override;
    void drawRect(const CGRect& rect) override;

private:
    void onMain(std::function<void()> work);
    void updateIndicators();
    void showUsingAnimation(bool animated);
    void hideUsingAnimation(bool animated);
    void done();
    void cleanUp();
    void setTransformForCurrentOrientation(bool animated);
    void deviceOrientationDidChange();

    // Settings shared with other threads.
    mutable std::mutex mutex_;
    int mode_ = -1;
    std::string labelText_, detailsLabelText_;
    float progress_ = 0;

    QPointer<UIView> indicator_, customView_;
    QPointer<UILabel> label_, detailsLabel_;
    float width_ = 0, height_ = 0;
    std::shared_ptr<RunLoopTimer> graceTimer_, minShowTimer_;
    double showStarted_ = -1;
    bool taskInProgress_ = false;
    bool showWanted_ = false;
    bool useAnimation_ = false;
    bool isFinished_ = false;
    int rotation_ = 0;
    uint64_t orientationObserver_ = 0;
    // Lets work queued from other threads find out, on the main thread,
    // whether the overlay still exists.
    struct Alive {
        MBProgressHUD* hud;
    };
    std::shared_ptr<Alive> alive_;
};

}  // namespace lumora
