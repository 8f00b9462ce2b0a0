#pragma once

#include <string>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/WeakView.h"
#include "ui/phone/LiveToolBarDelegate.h"

namespace lumora {

// The phone live screen's tool bar ("toolBarView", 43 pt high at the foot
// of the screen): pan/tilt ("ptzbtn"), listen ("voiceButton"), talk
// ("talkButton"), record ("recordButton"), snapshot ("snapshotButton") and
// more ("moreButon"), 52 pt apart. Listen, talk and record show whether
// they are on for the selected pane.
//
// It has two pull-out panels, made here and placed by the screen: the
// pan/tilt strip ("ptzScrollView", ten buttons acting while held) over the
// tool bar, and the more panel ("moreView": settings, about, media, remote
// recordings, devices, layout) that slides up over the channel strip.
// Every button reports to the delegate, which must outlive the views.
//
// A view of the screen's tree; it goes with it. Main thread only.
class LiveToolBar : public UIScrollView {
public:
    static constexpr CGFloat kHeight = 43;
    // The more panel's frame in the strip container, open and closed.
    static const CGRect kMoreOpen;
    static const CGRect kMoreClosed;

    LiveToolBar(const CGRect& frame, LiveToolBarDelegate* delegate);

    // A button with its image that shows when it is on; added to `parent`.
    static UIButton* makeButton(UIView* parent, const std::string& name, const std::string& image, CGRect frame);
    static UIScrollView* makePtzStrip(const CGRect& frame, LiveToolBarDelegate* delegate);
    // At its closed frame.
    static UIView* makeMorePanel(LiveToolBarDelegate* delegate);

    // The panels the tool bar opens and closes (found by their names).
    void attachPanels(UIScrollView* ptzStrip, UIView* morePanel);
    // The bar's background under the tool bar's and the pan/tilt strip's
    // buttons; the pan/tilt strip starts hidden.
    void showBackgrounds();

    bool isMorePanelOpen() const;
    // Closes the more panel and the pan/tilt strip (animated).
    void closePanels();
    // Shows or hides the pan/tilt strip (closing the more panel); `sender` shows whether it is out.
    void togglePtzStrip(UIButton* sender);
    void toggleMorePanel();

    // ---- the marks of the selected pane's listening, talking and recording
    void markListening(bool on);
    void markTalking(bool on);
    void markRecording(bool on);
    void clearMarks();

private:
    WeakView<UIScrollView> ptzStrip_;
    WeakView<UIView> morePanel_;
    WeakView<UIButton> ptzButton_, moreButton_, listenButton_, talkButton_, recordButton_;
};

}  // namespace lumora
