#pragma once

#include <memory>
#include <vector>

#include "ui/kit/UIInterfaceOrientation.h"
#include "ui/kit/UIView.h"

namespace lumora {

class UIViewController;

// The application's one top-level window: the root controller's view, the
// views of presented controllers above it, and overlays (alerts, action
// sheets, popovers) above those. Rotation follows the portrait-bounds model:
// the window keeps the screen's portrait size and the interface turns (the
// window's size swaps) only when the top full-screen controller agrees.
class UIWindow : public UIView {
public:
    explicit UIWindow(const CGRect& frame);
    ~UIWindow() override;

    static std::vector<UIWindow*> allWindows();
    static bool isAlive(const UIWindow* window);

    void makeKeyAndVisible();
    bool isKeyWindow() const;

    UIViewController* rootViewController() const { return root_.get(); }
    void setRootViewController(std::shared_ptr<UIViewController> controller);

    // The controllers on screen, root first: the root, what it presented,
    // what that presented ... (each with its children).
    std::vector<UIViewController*> controllerChain() const;
    // The top controller that covers the whole window.
    UIViewController* topFullScreenController() const;

    UIInterfaceOrientation interfaceOrientation() const { return orientation_; }
    // The device turned: posts the device-orientation notification, and when
    // the top full-screen controller allows the orientation, turns the
    // interface (will-rotate, status bar, new size, did-rotate). Answers
    // whether the interface turned.
    bool rotateTo(UIInterfaceOrientation orientation);

    // Adds a view over everything (alerts, sheets, popovers), frontmost.
    void addOverlay(UIView* overlay);
    // Overlays back to front.
    std::vector<UIView*> overlays() const;
    // Keeps presented views below the overlays.
    void restackOverlays();

    void layoutSubviews() override;

private:
    std::shared_ptr<UIViewController> root_;
    UIInterfaceOrientation orientation_ = UIInterfaceOrientation::Portrait;
    CGSize portrait_;
};

}  // namespace lumora
