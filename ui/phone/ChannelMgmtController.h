#pragma once

#include <memory>
#include <vector>

#include "ui/kit/UIViewController.h"

namespace lumora {

class ChannelViewController;

// Names of the grid's notifications (posted through the default
// notification queue, as soon as possible).
inline constexpr const char* ChannelSessionAutoCloseNotification = "ChannelSessionAutoCloseNotification";
inline constexpr const char* ChannelViewSelectionChangeNotification = "ChannelViewSelectionChangeNotification";

// The object of ChannelSessionAutoCloseNotification (in userInfo).
struct ChannelSessionAutoClose {
    int DeviceId = -1;
    int Channel = -1;
};

// The phone's grid of video panes: four panes made once, one or four shown
// in a portrait or landscape arrangement for the 3.5-inch or 4-inch phone,
// one selected; a small pane dragged onto another swaps with it; swipes on
// the big pane steer pan and tilt. Main thread only.
//
// ChannelViewSelectionChangeNotification carries the selected pane's
// deviceId (int) in userInfo; ChannelSessionAutoCloseNotification a
// ChannelSessionAutoClose.
class ChannelMgmtController : public UIViewController {
public:
    static constexpr double kSwipeInterval = 150;  // ms between swipe steps
    static constexpr double kSwipeDistance = 50;   // points

    ChannelMgmtController();
    ~ChannelMgmtController() override;

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait || o == UIInterfaceOrientation::LandscapeLeft;
    }

    void setChannelViewNumber(unsigned n);
    unsigned channelViewNumber() const { return channelViewNumber_; }
    bool isLandscapeLayout() const { return isLandscapeLayout_; }
    void setIsLandscapeLayout(bool landscape);
    bool isBannerClicked() const { return isBannerClicked_; }
    void setIsBannerClicked(bool clicked);

    void layoutChannelViewsVertically();
    void layoutChannelViewsVerticallyForIPhone5();
    void layoutChannelViewsHorizontally();
    void layoutChannelViewsHorizontallyForIPhone5();

    ChannelViewController* findAvailableChannelViewController() const;
    ChannelViewController* findWorkingChannelViewControllerForDevice(int deviceId, int channel) const;
    ChannelViewController* findAudioPlayingViewController() const;
    ChannelViewController* findTalkingViewController() const;
    void stopAllLive();
    void enableChannelViewRendering(bool enable);
    int indexOfChannelViewController(const ChannelViewController* pane) const;
    ChannelViewController* channelViewControllerAtIndex(int index) const;
    std::shared_ptr<ChannelViewController> sharedChannelViewControllerAtIndex(int index) const;
    ChannelViewController* selectedChannelViewController() const { return selected_; }
    size_t numberOfChannelViewControllers() const { return channelControllers_.size(); }

    // ---- the panes' touches
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

    ChannelViewController* controllerForDraggingView() const { return dragging_; }

private:
    void applyArrangement();
    void place(int index, const CGRect& frame, bool small, bool frameFirst = false);
    void select(ChannelViewController* pane);

    std::vector<std::shared_ptr<ChannelViewController>> channelControllers_;
    unsigned channelViewNumber_ = 4;
    ChannelViewController* selected_ = nullptr;  // one of channelControllers_
    bool isLandscapeLayout_ = false;
    bool isBannerClicked_ = false;
    ChannelViewController* dragging_ = nullptr;
    CGRect draggingViewOrigFrame_;
    CGPoint p_;
    double curentpttzTime_ = 0;
};

}  // namespace lumora
