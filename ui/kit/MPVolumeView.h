#pragma once

#include <QPointer>

#include "ui/kit/UIView.h"

namespace lumora {

class UIButton;
class UISlider;

// The system volume control of the media screens: a volume slider
// ("volumeSlider", 0..1) and an output-route button ("routeButton") at its
// right. There is one output here, so the route button opens nothing. The
// volume is one value for the whole process: every volume view shows it
// and moving any slider changes it. Each part can be hidden (the player
// controls show the slider alone, the route view the button alone).
class MPVolumeView : public UIView {
public:
    explicit MPVolumeView(const CGRect& frame = CGRectZero);

    bool showsVolumeSlider() const { return showsVolumeSlider_; }
    void setShowsVolumeSlider(bool shows);
    bool showsRouteButton() const { return showsRouteButton_; }
    void setShowsRouteButton(bool shows);

    UISlider* volumeSlider() const { return slider_.data(); }
    UIButton* routeButton() const { return route_.data(); }

    // The process's output volume, 0..1 (starts at 1).
    static float outputVolume();
    static void setOutputVolume(float volume);

    void layoutSubviews() override;

private:
    bool showsVolumeSlider_ = true;
    bool showsRouteButton_ = true;
    QPointer<UISlider> slider_;
    QPointer<UIButton> route_;
};

}  // namespace lumora
