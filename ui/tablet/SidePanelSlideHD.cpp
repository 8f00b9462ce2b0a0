#include "ui/tablet/SidePanelSlideHD.h"

#include "platform/runloop/Seconds.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/tablet/LiveViewControllerHD.h"

namespace lumora {

SidePanelSlideHD::SidePanelSlideHD(LiveViewControllerHD& screen) : screen_(screen) {}

SidePanelSlideHD::~SidePanelSlideHD() {
    if (waitForSlidingTimer_) waitForSlidingTimer_->invalidate();
}

std::weak_ptr<LiveViewControllerHD> SidePanelSlideHD::weakScreen() const {
    return std::static_pointer_cast<LiveViewControllerHD>(screen_.shared_from_this());
}

bool SidePanelSlideHD::isPanelOpen() const {
    return !screen_.closePanelButton || !screen_.closePanelButton->isHidden();
}

void SidePanelSlideHD::showOpenButton() {
    if (isPanelOpen() || sliding_ || !screen_.openPanelButton) return;
    if (waitForSlidingTimer_) waitForSlidingTimer_->invalidate();
    const CGFloat W = screen_.view()->bounds().size.width;
    WeakView<UIButton> open = screen_.openPanelButton;
    UIViewAnimation::animateWithDuration(LiveViewControllerHD::kPanelAnimation, [open, W] {
        if (!open) return;
        CGRect f = open->frame();
        f.origin.x = W - f.size.width;
        open->setFrame(f);
    });
    armHideTimer();
}

void SidePanelSlideHD::armHideTimer() {
    std::weak_ptr<LiveViewControllerHD> weak = weakScreen();
    waitForSlidingTimer_ = RunLoopTimer::scheduled(RunLoop::main(),
                                                   secondsDuration(LiveViewControllerHD::kHideOpenButtonDelay), false,
                                                   [weak](RunLoopTimer&) {
                                                       if (auto s = weak.lock()) s->slideOpenBtnToHidden();
                                                   });
    isTimerValid_ = true;
}

void SidePanelSlideHD::closePanel() {
    if (!isPanelOpen()) return;
    slidePanel(false);
}

void SidePanelSlideHD::openPanel() {
    if (isTimerValid_ && waitForSlidingTimer_ && waitForSlidingTimer_->isValid()) waitForSlidingTimer_->invalidate();
    isTimerValid_ = false;
    slidePanel(true);
}

// Swaps the open and close buttons, then slides the panel in (or out past
// the right edge) while the tile grid takes the rest of the width; the open
// button rides along the panel's left edge. A closed panel arms the timer
// that tucks the open button away.
void SidePanelSlideHD::slidePanel(bool open) {
    std::weak_ptr<LiveViewControllerHD> weak = weakScreen();
    UIViewAnimation::animateWithDuration(
        LiveViewControllerHD::kPanelAnimation,
        [weak, open] {
            auto s = weak.lock();
            if (!s) return;
            if (s->openPanelButton) s->openPanelButton->setHidden(open);
            if (s->closePanelButton) s->closePanelButton->setHidden(!open);
        },
        [this, weak, open](bool) {
            UIViewAnimation::animateWithDuration(LiveViewControllerHD::kPanelAnimation, [weak, open] {
                auto t = weak.lock();
                if (!t) return;
                const CGFloat W = t->view()->bounds().size.width, H = t->view()->bounds().size.height;
                const CGFloat P = t->rightPanel ? t->rightPanel->frame().size.width : LiveViewControllerHD::kPanelWidth;
                const CGFloat edge = open ? W - P : W;  // the panel's left edge
                if (t->rightPanel) t->rightPanel->setFrame(CGRect{{edge, 0}, {P, H}});
                t->chanMgmtController()->setViewFrame(CGRect{{0, 0}, {edge, H}});
                if (UIButton* b = t->openPanelButton) {
                    const CGSize sz = b->frame().size;
                    b->setFrame(CGRect{{edge - sz.width, (H - sz.height) / 2}, sz});
                }
            });
            if (open) return;
            // The screen holds this: alive while the screen is.
            if (auto s = weak.lock()) armHideTimer();
        });
}

void SidePanelSlideHD::slideOpenBtnToHidden() {
    isTimerValid_ = false;
    sliding_ = true;
    std::weak_ptr<LiveViewControllerHD> weak = weakScreen();
    UIViewAnimation::animateWithDuration(
        LiveViewControllerHD::kPanelAnimation,
        [weak] {
            auto s = weak.lock();
            if (!s || !s->openPanelButton) return;
            CGRect f = s->openPanelButton->frame();
            f.origin.x = s->view()->bounds().size.width - 3;
            s->openPanelButton->setFrame(f);
        },
        [this, weak](bool) {
            if (auto s = weak.lock()) sliding_ = false;
        });
}

}  // namespace lumora
