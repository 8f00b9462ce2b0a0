#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIGeometry.h"
#include "ui/kit/UIInterfaceOrientation.h"
#include "ui/kit/UIResponder.h"

namespace lumora {

class UINavigationController;
class UINavigationItem;
class UIView;
class UIWindow;

enum class UIModalPresentationStyle { FullScreen, PageSheet, FormSheet, CurrentContext };

// Manages one screen's view: loads it lazily (loadView, then viewDidLoad),
// hears of its appearance in the platform's order, presents and dismisses
// other controllers modally, answers rotation questions.
//
// Appearance order of a presentation: the presented controller's view loads
// (viewDidLoad), presenter viewWillDisappear, presented viewWillAppear,
// presented viewDidAppear, presenter viewDidDisappear; a dismissal the same
// with the roles swapped. Without animation all of it happens inside the
// call; with animation the did-calls and the completion come 0.3 s later on
// the run loop's clock (a new transition first finishes the one in flight).
//
// Controllers are shared objects: a presenter keeps what it presented, a
// navigation controller its stack, the window its root. Main thread only.
class UIViewController : public UIResponder, public std::enable_shared_from_this<UIViewController> {
public:
    static constexpr double kTransitionDuration = 0.3;

    UIViewController();
    ~UIViewController() override;
    UIViewController(const UIViewController&) = delete;
    UIViewController& operator=(const UIViewController&) = delete;

    // ---- the view
    UIView* view();
    UIView* viewIfLoaded() const { return view_.data(); }
    bool isViewLoaded() const { return !view_.isNull(); }
    void setView(UIView* view);
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void didReceiveMemoryWarning() {}
    // True between viewWillAppear and viewWillDisappear.
    bool isVisible() const { return visible_; }

    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    UINavigationItem& navigationItem();

    // ---- rotation
    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
        return orientation == UIInterfaceOrientation::Portrait;
    }
    virtual void willRotateToInterfaceOrientation(UIInterfaceOrientation, double /*duration*/) {}
    virtual void willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation, double /*duration*/) {}
    virtual void didRotateFromInterfaceOrientation(UIInterfaceOrientation /*from*/) {}
    UIInterfaceOrientation interfaceOrientation() const;

    // ---- presentation
    void presentViewController(std::shared_ptr<UIViewController> controller, bool animated,
                               std::function<void()> completion = nullptr);
    void presentModalViewController(std::shared_ptr<UIViewController> controller, bool animated) {
        presentViewController(std::move(controller), animated);
    }
    // From the presenter (dismisses what it presented) or from the presented
    // controller (or a controller inside it): dismisses that one.
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion = nullptr);
    void dismissModalViewControllerAnimated(bool animated) { dismissViewControllerAnimated(animated); }
    UIViewController* presentedViewController() const { return presented_.get(); }
    UIViewController* modalViewController() const { return presented_.get(); }
    UIViewController* presentingViewController() const;

    UIModalPresentationStyle modalPresentationStyle = UIModalPresentationStyle::FullScreen;
    CGSize contentSizeForViewInPopover{320, 480};

    // Covers the window when presented (full-screen style, or any on a phone).
    virtual bool coversWindow() const;

    // ---- containment
    UIViewController* parentViewController() const { return parent_; }
    UINavigationController* navigationController() const;
    std::vector<UIViewController*> childViewControllers() const;
    void addChildViewController(std::shared_ptr<UIViewController> child);
    void removeFromParentViewController();

    UIResponder* nextResponder() const override;
    UIWindow* window() const;

    // ---- for the toolkit
    // Calls viewWillAppear/Disappear (now) and, through end, the did-calls,
    // also for the children that follow this controller's appearance.
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();
    void attachToWindow(UIWindow* window);
    void detachFromWindow();
    void viewWillBeDestroyed(UIView* view);
    // Finishes transitions in flight (their did-calls and completions).
    static void finishTransitions();
    // Runs `finish` now, or (animated) after kTransitionDuration unless a
    // new transition finishes it first.
    static void completeTransition(bool animated, std::function<void()> finish);

protected:
    // The children that appear and disappear with this controller.
    virtual std::vector<UIViewController*> appearanceChildren() const { return childViewControllers(); }
    void setParent(UIViewController* parent) { parent_ = parent; }
    friend class UINavigationController;

private:
    UIViewController* rootAncestor();
    // Sizes the presented view for the window and, with attach, puts it there.
    void placePresentedView(UIViewController* presented, bool attach);

    QPointer<UIView> view_;
    bool loading_ = false;
    bool visible_ = false;
    int transition_ = 0;  // 1 appearing, -1 disappearing, 0 none
    bool transitionAnimated_ = false;
    std::string title_;
    std::unique_ptr<UINavigationItem> navigationItem_;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    UIViewController* parent_ = nullptr;
    std::vector<std::shared_ptr<UIViewController>> children_;
    QPointer<UIWindow> window_;
};

}  // namespace lumora
