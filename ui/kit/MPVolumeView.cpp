#include "ui/kit/MPVolumeView.h"

#include <algorithm>
#include <atomic>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UISlider.h"

namespace lumora {

namespace {

std::atomic<float> gVolume{1.0f};

constexpr CGFloat kRouteSide = 24;

// The route symbol: a screen with a triangle under it.
std::shared_ptr<UIImage> routeImage() {
    return UIImage::imageByDrawing(CGSize{kRouteSide, kRouteSide}, [](CGContext& ctx) {
        const CGFloat w = kRouteSide, h = kRouteSide;
        ctx.setStrokeColor(UIColor::whiteColor());
        ctx.setLineWidth(1.5);
        ctx.strokeRect(CGRect{{w * 0.15, h * 0.15}, {w * 0.7, h * 0.5}});
        ctx.setFillColor(UIColor::whiteColor());
        ctx.beginPath();
        ctx.moveToPoint(w * 0.5, h * 0.55);
        ctx.addLineToPoint(w * 0.3, h * 0.85);
        ctx.addLineToPoint(w * 0.7, h * 0.85);
        ctx.closePath();
        ctx.fillPath();
    });
}

}  // namespace

float MPVolumeView::outputVolume() { return gVolume.load(); }

void MPVolumeView::setOutputVolume(float volume) { gVolume = std::clamp(volume, 0.0f, 1.0f); }

MPVolumeView::MPVolumeView(const CGRect& frame) : UIView(frame) {
    setOpaque(false);
    auto* slider = new UISlider(CGRectZero);
    slider->setValue(outputVolume());
    setViewName(slider, "volumeSlider");
    slider->addTarget(this, [](UIControl* c, UIEvent*) { setOutputVolume(static_cast<UISlider*>(c)->value()); },
                      UIControlEventValueChanged);
    addSubview(slider);
    slider_ = slider;
    auto* route = new UIButton(CGRectZero);
    route->setImage(routeImage(), UIControlStateNormal);
    setViewName(route, "routeButton");
    addSubview(route);
    route_ = route;
    layoutSubviews();
}

void MPVolumeView::setShowsVolumeSlider(bool shows) {
    showsVolumeSlider_ = shows;
    layoutSubviews();
}

void MPVolumeView::setShowsRouteButton(bool shows) {
    showsRouteButton_ = shows;
    layoutSubviews();
}

void MPVolumeView::layoutSubviews() {
    const CGRect b = bounds();
    const CGFloat side = std::min<CGFloat>(kRouteSide, std::min(b.size.width, b.size.height));
    if (route_) {
        route_->setHidden(!showsRouteButton_);
        route_->setFrame(CGRect{{b.size.width - side, (b.size.height - side) / 2}, {side, side}});
    }
    if (slider_) {
        slider_->setHidden(!showsVolumeSlider_);
        if (slider_->isHidden() == false && !slider_->isTracking()) slider_->setValue(outputVolume());
        const CGFloat w = b.size.width - (showsRouteButton_ ? side : 0);
        slider_->setFrame(CGRect{{0, 0}, {std::max<CGFloat>(0, w), b.size.height}});
    }
}

}  // namespace lumora
