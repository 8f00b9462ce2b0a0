#include "ui/kit/MPVolumeView.h"

#include <gtest/gtest.h>

#include "ui/kit/UIButton.h"
#include "ui/kit/UISlider.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class Holder : public UIViewController {
public:
    void loadView() override {
        setView(new UIView(CGRect{{0, 0}, {320, 480}}));
        volume = new MPVolumeView(CGRect{{20, 200}, {200, 30}});
        view()->addSubview(volume);
    }
    MPVolumeView* volume = nullptr;
};

TEST(MPVolumeViewTest, SliderSetsTheOneVolumeAndTheRouteButtonOpensNothing) {
    MPVolumeView::setOutputVolume(1);
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    driver.settle();
    MPVolumeView* v = holder->volume;
    ASSERT_TRUE(v->volumeSlider() && v->routeButton());
    EXPECT_FLOAT_EQ(v->volumeSlider()->value(), 1);
    // Slider to the left of the route button, side by side.
    const CGRect s = v->volumeSlider()->frame(), r = v->routeButton()->frame();
    EXPECT_LE(s.origin.x + s.size.width, r.origin.x);
    EXPECT_EQ(r.origin.x + r.size.width, 200);

    // Drag the thumb from the right end to the slider's middle.
    UISlider* slider = v->volumeSlider();
    const CGPoint from = slider->convertPointToView(slider->pointForValue(1), nullptr);
    const CGPoint to = slider->convertPointToView(slider->pointForValue(0.5f), nullptr);
    driver.drag(from, to);
    driver.settle();
    EXPECT_NEAR(MPVolumeView::outputVolume(), 0.5, 0.05);

    // The route button takes the tap and nothing appears.
    const size_t before = driver.visibleTexts().size();
    ASSERT_TRUE(driver.tap("routeButton")) << driver.lastError();
    driver.settle();
    EXPECT_EQ(holder->presentedViewController(), nullptr);
    EXPECT_EQ(driver.visibleTexts().size(), before);

    // Another volume view shows the same volume; parts hide on request.
    MPVolumeView other(CGRect{{0, 0}, {150, 30}});
    EXPECT_NEAR(other.volumeSlider()->value(), MPVolumeView::outputVolume(), 1e-6);
    other.setShowsVolumeSlider(false);
    EXPECT_TRUE(other.volumeSlider()->isHidden());
    EXPECT_FALSE(other.routeButton()->isHidden());
    v->setShowsRouteButton(false);
    EXPECT_TRUE(v->routeButton()->isHidden());
    EXPECT_EQ(v->volumeSlider()->frame().size.width, 200) << "the slider alone takes the width";
    MPVolumeView::setOutputVolume(7);
    EXPECT_EQ(MPVolumeView::outputVolume(), 1);
    MPVolumeView::setOutputVolume(1);
}

}  // namespace
