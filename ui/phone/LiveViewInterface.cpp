#include "ui/phone/LiveViewInterface.h"

#include "ui/common/FloatingPanelView.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/kit/WeakView.h"
#include "ui/phone/ChannelStripView.h"
#include "ui/phone/DeviceStripView.h"
#include "ui/phone/LiveToolBar.h"
#include "ui/phone/LiveViewController.h"

namespace lumora {

UIView* LiveViewInterface::build(void* owner) {
    auto* lvc = static_cast<LiveViewController*>(owner);
    const CGRect screen = UIScreen::mainScreen().bounds();
    const CGFloat W = screen.size.width, H = screen.size.height;
    auto* root = new UIView(CGRect{{0, 0}, {W, H}});
    root->setBackgroundColor(UIColor::blackColor());
    setViewName(root, "LiveViewController");

    auto* container = new UIView(CGRect{{0, H - LiveToolBar::kHeight - kContainerHeight}, {W, kContainerHeight}});
    setViewName(container, "scrollContainerView");
    root->addSubview(container);
    auto* devices = new DeviceStripView(CGRect{{0, 0}, {W, 42}});
    setViewName(devices, "devicesScrollView");
    container->addSubview(devices);
    auto* channels = new ChannelStripView(CGRect{{0, 42}, {W, 42}});
    setViewName(channels, "channelScrollView");
    container->addSubview(channels);
    container->addSubview(LiveToolBar::makeMorePanel(lvc));

    auto* left = new UIView(CGRect{{0, H - LiveToolBar::kHeight - kContainerHeight}, {0, kContainerHeight}});
    setViewName(left, "leftButtonView");
    root->addSubview(left);
    LiveToolBar::makeButton(left, "backButton", "leftarrow.png", CGRect{{0, 12}, {24, 60}})->setHidden(true);
    auto* right = new UIView(CGRect{{W - 44, 0}, {44, 44}});
    setViewName(right, "rightButtonView");
    right->setHidden(true);
    root->addSubview(right);

    root->addSubview(LiveToolBar::makePtzStrip(CGRect{{0, H - LiveToolBar::kHeight - 43}, {W, 43}}, lvc));
    root->addSubview(new LiveToolBar(CGRect{{0, H - LiveToolBar::kHeight}, {W, LiveToolBar::kHeight}}, lvc));
    // Slides the strip container sideways (shown while the container is wider than the screen).
    LiveToolBar::makeButton(root, "switchButton", "rightarrow.png",
                            CGRect{{W - 24, H - LiveToolBar::kHeight - kContainerHeight}, {24, 42}})
        ->setHidden(true);

    auto* panel = new FloatingPanelView(CGRect{{44, H}, {275, 79}});
    setViewName(panel, "toolPanel");
    root->addSubview(panel);

    if (auto* b = root->viewWithName<UIButton>("switchButton"))
        b->addTarget(lvc, [lvc](UIControl* c, UIEvent*) { lvc->toggleSwitchViewDisplay(static_cast<UIButton*>(c)); },
                     UIControlEventTouchUpInside);
    if (auto* b = root->viewWithName<UIButton>("backButton"))
        b->addTarget(lvc, [lvc](UIControl*, UIEvent*) { lvc->backAction(); }, UIControlEventTouchUpInside);
    return root;
}

void LiveViewInterface::bindOutlets(LiveViewController& screen, UIView* root) {
    screen.toolPanel = root->viewWithName<FloatingPanelView>("toolPanel");
    screen.toolBarView = root->viewWithName<UIScrollView>("toolBarView");
    screen.devicesScrollView = root->viewWithName<UIScrollView>("devicesScrollView");
    screen.channelScrollView = root->viewWithName<UIScrollView>("channelScrollView");
    screen.ptzScrollView = root->viewWithName<UIScrollView>("ptzScrollView");
    screen.scrollContainerView = root->viewWithName<UIView>("scrollContainerView");
    screen.leftButtonView = root->viewWithName<UIView>("leftButtonView");
    screen.rightButtonView = root->viewWithName<UIView>("rightButtonView");
    screen.moreView = root->viewWithName<UIView>("moreView");
    screen.backButton = root->viewWithName<UIButton>("backButton");
    screen.settingButton = root->viewWithName<UIButton>("settingButton");
    screen.abtButton = root->viewWithName<UIButton>("abtButton");
    screen.fileButton = root->viewWithName<UIButton>("fileButton");
    screen.remoteButton = root->viewWithName<UIButton>("remoteButton");
    screen.addButon = root->viewWithName<UIButton>("addButon");
    screen.moreButon = root->viewWithName<UIButton>("moreButon");
    screen.ptzbtn = root->viewWithName<UIButton>("ptzbtn");
    screen.recordButton = root->viewWithName<UIButton>("recordButton");
    screen.voiceButton = root->viewWithName<UIButton>("voiceButton");
    screen.talkButton = root->viewWithName<UIButton>("talkButton");
    screen.snapshotButton = root->viewWithName<UIButton>("snapshotButton");
    screen.switchButton = root->viewWithName<UIButton>("switchButton");
    screen.layoutButton = root->viewWithName<UIButton>("layoutButton");
}

void LiveViewInterface::arrange(LiveViewController& screen, bool landscape) {
    UIView* v = screen.view();
    auto setHidden = [](UIView* x, bool h) {
        if (x) x->setHidden(h);
    };
    if (landscape) {
        v->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("paduistyle2_landscap_bg.png")));
        for (UIView* x : {static_cast<UIView*>(screen.toolBarView.data()),
                          static_cast<UIView*>(screen.channelScrollView.data()),
                          static_cast<UIView*>(screen.devicesScrollView.data()),
                          static_cast<UIView*>(screen.toolPanel.data()), screen.leftButtonView.data(),
                          screen.rightButtonView.data(), screen.scrollContainerView.data(), screen.moreView.data(),
                          static_cast<UIView*>(screen.ptzScrollView.data())})
            setHidden(x, true);
        return;
    }
    v->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("paduistyle2_portrait_bg.png")));
    for (UIView* x : {static_cast<UIView*>(screen.toolBarView.data()),
                      static_cast<UIView*>(screen.channelScrollView.data()),
                      static_cast<UIView*>(screen.devicesScrollView.data()), screen.leftButtonView.data(),
                      screen.scrollContainerView.data(), screen.moreView.data()})
        setHidden(x, false);
    setHidden(screen.toolPanel.data(), true);
    setHidden(screen.rightButtonView.data(), true);
}

void LiveViewInterface::plugLayout(LiveViewController& screen) {
    if (screen.leftButtonView) screen.leftButtonView->setHidden(true);
    for (UIScrollView* s : {screen.devicesScrollView.data(), screen.channelScrollView.data()}) {
        if (!s) continue;
        CGRect f = s->frame();
        f.size.width = 320;
        s->setFrame(f);
    }
}

void LiveViewInterface::slideContainer(LiveViewController& screen, UIButton* sender) {
    if (!sender || !screen.scrollContainerView) return;
    CGRect f = screen.scrollContainerView->frame();
    if (sender->isSelected()) {
        sender->setSelected(false);
        f.origin.x += 320;
    } else {
        sender->setSelected(true);
        f.origin.x -= 320;
    }
    WeakView<UIView> container = screen.scrollContainerView;
    UIViewAnimation::animateWithDuration(0.3, [container, f] {
        if (container) container->setFrame(f);
    });
}

}  // namespace lumora
