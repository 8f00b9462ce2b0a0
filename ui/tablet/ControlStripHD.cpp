#include "ui/tablet/ControlStripHD.h"

#include <cmath>
#include <utility>

#include "ui/kit/ToggleLook.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIImage.h"

namespace lumora {

namespace {

using D = ControlStripHDDelegate;

struct ControlButton {
    const char* name;   // object name (the screen's outlet)
    const char* image;  // normal image; the pressed one is "<image>_clk.png"
    const char* title;
    CGRect frame;
    void (D::*action)();
};

CGRect cell(int col, int row) { return CGRect{{4 + 58.0 * col, 6 + 48.0 * row}, {52, 42}}; }

UIButton* makeControl(UIView* parent, const ControlButton& c, D* delegate, void (D::*tap)()) {
    return ControlStripHD::makeButton(parent, c.name, c.image, c.title, c.frame, [delegate, tap] { (delegate->*tap)(); });
}

}  // namespace

ControlStripHD::ControlStripHD() : UIScrollView(CGRect{}) { setPagingEnabled(true); }

UIButton* ControlStripHD::makeButton(UIView* parent, const std::string& name, const std::string& image,
                                     const std::string& title, const CGRect& frame, std::function<void()> tap) {
    auto* b = new UIButton(frame);
    auto normal = UIImage::imageNamed(image + ".png");
    b->setBackgroundImage(normal, UIControlStateNormal);
    if (!normal) b->setTitle(title);  // the picture says it; the title stands in only without one
    b->setBackgroundColor(UIColor::colorWithRed(0.22, 0.23, 0.27, 1));
    setViewName(b, name);
    b->addTarget(parent, [tap = std::move(tap)](UIControl*, UIEvent*) { tap(); }, UIControlEventTouchUpInside);
    parent->addSubview(b);
    b->setBackgroundImage(UIImage::imageNamed(image + "_clk.png"), UIControlStateHighlighted);
    return b;
}

void ControlStripHD::makePages(UIView* panel, D* delegate) {
    auto* first = new UIView(CGRect{{0, 0}, {kPageWidth, kPageHeight}});
    setViewName(first, "firstCtrlPage");
    panel->addSubview(first);
    const ControlButton firstButtons[] = {
        {"upBtn", "up", "Up", cell(1, 0), &D::moveUpCtrl},
        {"leftBtn", "left", "Left", cell(0, 1), &D::moveLeftCtrl},
        {"rightBtn", "right", "Right", cell(2, 1), &D::moveRightCtrl},
        {"downBtn", "down", "Down", cell(1, 2), &D::moveDownCtrl},
        {"playBtn", "play", "Play", cell(1, 1), &D::playCtrl},
        {"zoomupBtn", "zoomup", "Z-", cell(3, 0), &D::zoomUpCtrl},
        {"zoomdownBtn", "zoomdown", "Z+", cell(3, 1), &D::zoomDownCtrl},
        {"tupBtn", "tup", "F+", cell(0, 3), &D::tUpCtrl},
        {"tdownBtn", "tdown", "F-", cell(1, 3), &D::tDownCtrl},
        {"iupBtn", "iup", "I+", cell(2, 3), &D::iUpCtrl},
        {"idownBtn", "idown", "I-", cell(3, 3), &D::iDownCtrl},
    };
    for (const auto& c : firstButtons) {
        if (c.action == &D::playCtrl) {
            makeControl(first, c, delegate, c.action);
            continue;
        }
        // Pan/tilt/zoom runs while the button is held: it starts as the
        // finger goes down and the release, wherever it ends, stops it.
        UIButton* b = makeControl(first, c, delegate, &D::stopCtrl);
        auto action = c.action;
        b->addTarget(delegate, [delegate, action](UIControl*, UIEvent*) { delegate->holdPtzControl(action); },
                     UIControlEventTouchDown);
        b->addTarget(delegate, [delegate](UIControl*, UIEvent*) { delegate->stopCtrl(); },
                     UIControlEventTouchUpOutside | UIControlEventTouchCancel);
    }

    auto* second = new UIView(CGRect{{0, 0}, {kPageWidth, kPageHeight}});
    setViewName(second, "secondCtrlPage");
    panel->addSubview(second);
    const ControlButton secondButtons[] = {
        {"voiceBtn", "voice", "Listen", cell(0, 0), &D::voiceCtrl},
        {"talkBtn", "talk", "Talk", cell(1, 0), &D::talkCtrl},
        {"recordBtn", "record", "Rec", cell(2, 0), &D::recordCtrl},
        {"snapshotBtn", "snapshot", "Snap", cell(3, 0), &D::snapshotCtrl},
        {"stopAllBtn", "play", "Stop all", cell(0, 1), &D::stopAllCtrl},
        {"oneViewModeBtn", "1viewmode", "1", cell(0, 2), &D::oneViewMode},
        {"fourViewModeBtn", "4viewmode", "4", cell(1, 2), &D::fourViewMode},
        {"sixViewModeBtn", "6viewmode", "6", cell(2, 2), &D::sixViewMode},
        {"nineViewModeBtn", "9viewmode", "9", cell(3, 2), &D::nineViewMode},
        {"sixtnViewModeBtn", "chgchnl", "16", cell(0, 3), &D::sixtnViewMode},
    };
    for (const auto& c : secondButtons) {
        UIButton* b = makeControl(second, c, delegate, c.action);
        // The toggles and the layout in use show that they are on.
        if (c.action == &D::recordCtrl) setToggleOnLook(b, recordingAccent());
        else if (c.action != &D::snapshotCtrl && c.action != &D::stopAllCtrl) setToggleOnLook(b, toggleOnAccent());
    }

    auto* dots = new UIPageControl(CGRect{{10, 736}, {kPageWidth, 24}});
    dots->setNumberOfPages(2);
    setViewName(dots, "pageControl");
    panel->addSubview(dots);
}

void ControlStripHD::attach(UIView* root) {
    firstPage_ = root->viewWithName("firstCtrlPage");
    secondPage_ = root->viewWithName("secondCtrlPage");
    dots_ = dynamic_cast<UIPageControl*>(root->viewWithName("pageControl"));
    const char* layouts[] = {"oneViewModeBtn", "fourViewModeBtn", "sixViewModeBtn", "nineViewModeBtn",
                             "sixtnViewModeBtn"};
    for (int m = 0; m < 5; ++m) layoutButtons_[m] = dynamic_cast<UIButton*>(root->viewWithName(layouts[m]));
}

void ControlStripHD::layoutIn(UIView* panel) {
    const CGFloat w = firstPage_ ? firstPage_->frame().size.width : kPageWidth;
    const CGFloat h = firstPage_ ? firstPage_->frame().size.height : kPageHeight;
    setFrame(CGRect{{10, 530}, {w, h}});
    setViewName(this, "controlStrip");
    if (panel && !superview()) panel->addSubview(this);
    setContentSize(CGSize{2 * w, h});
    if (firstPage_) {
        firstPage_->setFrame(CGRect{{0, 0}, {w, h}});
        if (firstPage_->superview() != this) addSubview(firstPage_);
    }
    if (secondPage_) {
        secondPage_->setFrame(CGRect{{w, 0}, {w, h}});
        if (secondPage_->superview() != this) addSubview(secondPage_);
    }
}

void ControlStripHD::showDotsPage() {
    if (!dots_) return;
    setContentOffset(CGPoint{frame().size.width * dots_->currentPage(), 0}, true);
}

void ControlStripHD::didScroll() {
    if (!dots_) return;
    const CGFloat width = frame().size.width;
    if (width <= 0) return;
    dots_->setCurrentPage(static_cast<int>(std::floor((contentOffset().x - width / 2) / width)) + 1);
}

void ControlStripHD::showLayoutInUse(int mode) {
    for (int m = 0; m < 5; ++m)
        if (layoutButtons_[m]) layoutButtons_[m]->setSelected(m == mode);
}

}  // namespace lumora
