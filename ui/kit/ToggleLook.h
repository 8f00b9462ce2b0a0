#pragma once

#include <memory>

#include "ui/kit/UIColor.h"

namespace lumora {

class UIButton;
class UIImage;

// How a tool button that stays on (listening, talking, the pan/tilt strip
// shown, the layout in use) tells it at a glance: its picture washed with
// the accent colour and ringed by it. Recording is red.
UIColor toggleOnAccent();
UIColor recordingAccent();
std::shared_ptr<UIImage> toggleOnLook(const std::shared_ptr<UIImage>& image, const UIColor& accent);

// Gives the button the on look of its normal picture (or of its normal
// background) for the selected state (a press still shows the pressed look).
void setToggleOnLook(UIButton* button, const UIColor& accent);

}  // namespace lumora
