#pragma once

#include <memory>

#include "ui/kit/UIControl.h"

namespace lumora {

// A value between minimum and maximum chosen by dragging along the track:
// the user's moves send value-changed (continuously, or once at the end
// when continuous is off); setValue in code sends nothing.
class UISlider : public UIControl {
public:
    explicit UISlider(const CGRect& frame = CGRectZero);

    float value() const { return value_; }
    void setValue(float value, bool animated = false);
    float minimumValue = 0;
    float maximumValue = 1;
    bool continuous = true;
    std::shared_ptr<UIImage> thumbImage;
    std::shared_ptr<UIImage> minimumTrackImage;
    std::shared_ptr<UIImage> maximumTrackImage;
    void setThumbImage(std::shared_ptr<UIImage> image, unsigned state = UIControlStateNormal);

    // The thumb centre for a value, in the slider's coordinates.
    CGPoint pointForValue(float value) const;

    void drawRect(const CGRect& rect) override;

protected:
    bool beginTracking(UITouch* touch, UIEvent* event) override;
    bool continueTracking(UITouch* touch, UIEvent* event) override;
    void endTracking(UITouch* touch, UIEvent* event) override;

private:
    float valueAt(CGPoint p) const;
    void follow(UITouch* touch, UIEvent* event);
    float value_ = 0;
    bool movedSinceEnd_ = false;
};

}  // namespace lumora
