#pragma once

#include "ui/kit/WeakView.h"
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "ui/kit/UIViewController.h"
#include "ui/tablet/ChannelViewControllerHD.h"

namespace lumora {

class ChannelMgmtControllerHD;

// What the tablet grid tells the live screen. Main thread.
class ChannelMgmtControllerDelegate {
public:
    virtual ~ChannelMgmtControllerDelegate() = default;
    // Declared for the screens; the grid never sends it.
    virtual void channelMgmtControllerFullScreenMode(ChannelMgmtControllerHD*, bool) {}
    // A one-finger touch began on the grid.
    virtual void channelMgmtControllerTouchesBegin(ChannelMgmtControllerHD*, const UITouchSet&) {}
    // A one-finger touch ended; the tile dragged, else the one at position 0.
    virtual void channelMgmtControllerTouchesEnd(ChannelMgmtControllerHD*, ChannelViewControllerHD*,
                                                 const UITouchSet&) {}
};

// The tablet's grid of sixteen video tiles: 1, 4, 6, 9 or 16 shown, a
// position queue saying which tile stands where, drag a tile onto another
// to swap them, double-tap to fill the grid and back, swipe on the filled
// tile to pan and tilt. Main thread only.
class ChannelMgmtControllerHD : public UIViewController, public ChannelViewControllerHDGuestureDelegate {
public:
    static constexpr int kTileCount = 16;
    static constexpr double kSwipeInterval = 300;  // ms between evaluated swipe moves
    static constexpr double kSwipeDistance = 50;   // points

    ChannelMgmtControllerHD();
    ~ChannelMgmtControllerHD() override;

    void loadView() override;
    // The view went away (memory pressure): no tile is selected any more.
    void viewDidUnload();
    void didReceiveMemoryWarning() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }

    bool createAllChannelViewControllers();
    // 0..4: 1, 4, 6, 9 or 16 tiles.
    void setLayoutMode(int mode);
    // Told the mode after every setLayoutMode (the live screen marks its layout button).
    std::function<void(int mode)> onLayoutMode;
    int layoutMode() const { return layoutMode_; }
    int curMode() const { return curMode_; }
    int curViewNum() const { return curViewNum_; }
    void setViewFrame(const CGRect& frame);
    int stopAllLive();
    void stopLiveForDevice(int deviceId);

    ChannelViewControllerHD* findAvailableChannelViewControllerHD(int deviceId, int channel) const;
    ChannelViewControllerHD* findAvailableChannelViewControllerHD() const;
    ChannelViewControllerHD* findWorkingChannelViewControllerHDForDevice(int deviceId, int channel) const;
    ChannelViewControllerHD* findAudioPlayingViewControllerHD() const;
    ChannelViewControllerHD* findTalkingViewControllerHD() const;
    ChannelViewControllerHD* ChannelViewControllerHDAtIndex(int index) const;
    std::shared_ptr<ChannelViewControllerHD> sharedChannelViewControllerHDAtIndex(int index) const;
    int indexOfChannelViewControllerHD(const ChannelViewControllerHD* tile) const;  // -1 when absent
    int numberOfChannelViewControllerHDs() const { return static_cast<int>(channelControllers_.size()); }
    void deSelectViewAtIndex(int index);
    void openRenderSwitch();

    CGRect calcUnfullScreenRectForLocation(int position);
    void setDoubleTappedSubview(ChannelViewControllerHD* tile, bool fullScreenMode);

    int selectedChannelViewIndex() const { return selectedChannelViewIndex_; }
    bool fullMode() const { return fullMode_; }
    int locationQueue(int position) const { return locationQueue_.at(static_cast<size_t>(position)); }
    const std::vector<int>& curShowingViewIds() const { return curShowingViewIds_; }
    // The tile shown at a position.
    ChannelViewControllerHD* tileAtPosition(int position) const;

    std::shared_ptr<ChannelMgmtControllerDelegate> delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ChannelMgmtControllerDelegate> d) { delegate_ = std::move(d); }

    // ---- touches: the grid's own and, through the tiles, those on their video
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

    // ---- gestures of the tiles
    void ChannelViewControllerHDViewDoubleClicked(ChannelViewControllerHD* tile, UIGestureRecognizer*) override;
    void ChannelViewControllerHDViewPinched(ChannelViewControllerHD*, UIGestureRecognizer*) override { pinching_ = true; }

private:
    bool createChannelViewControllerHDIfNeeded(int count);
    CGRect cellForPosition(int mode, int position);
    ChannelViewControllerHD* tileOfTouchedView(UIView* touched) const;
    ChannelViewControllerHD* tileOfView(const UIView* view) const;

    std::vector<std::shared_ptr<ChannelViewControllerHD>> channelControllers_;
    std::array<int, 20> locationQueue_{};
    std::vector<int> curShowingViewIds_;
    int selectedChannelViewIndex_ = 0;
    int layoutMode_ = 0;
    int curMode_ = 0;
    int curViewNum_ = 0;
    bool fullMode_ = false;
    bool tapped_ = false;
    bool pinching_ = false;
    bool multiTouch_ = false;  // a second finger joined the current touch
    WeakView<ChannelViewHD> draggingView_;
    CGRect draggingViewOrigFrame_;
    CGPoint p_;
    CGPoint relativeLocation_;
    double curentpttzTime_ = 0;
    std::shared_ptr<ChannelMgmtControllerDelegate> delegate_;
};

}  // namespace lumora
