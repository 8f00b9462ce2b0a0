#pragma once

#include <memory>
#include <vector>

#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

// A stack of controllers under a navigation bar. Push and pop call the
// appearance methods in the same order as a presentation (the arriving
// controller's view loads first; the leaving one's will-disappear, the
// arriving one's will- and did-appear, the leaving one's did-disappear).
class UINavigationController : public UIViewController {
public:
    explicit UINavigationController(std::shared_ptr<UIViewController> root = nullptr);

    std::vector<UIViewController*> viewControllers() const;
    UIViewController* topViewController() const;
    UIViewController* visibleViewController() const;

    void pushViewController(std::shared_ptr<UIViewController> controller, bool animated);
    std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
    void popToRootViewControllerAnimated(bool animated);

    UINavigationBar* navigationBar();
    bool isNavigationBarHidden() const { return barHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated = false);

    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void loadView() override;

protected:
    std::vector<UIViewController*> appearanceChildren() const override;

private:
    void showTop();
    void layoutContent();

    std::vector<std::shared_ptr<UIViewController>> stack_;
    QPointer<UINavigationBar> bar_;
    QPointer<UIView> content_;
    bool barHidden_ = false;
};

}  // namespace lumora
