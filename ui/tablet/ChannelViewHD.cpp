#include "ui/tablet/ChannelViewHD.h"

namespace lumora {

ChannelViewHD::ChannelViewHD(const CGRect& frame)
    : ChannelView(frame, UIColor::colorWithRed(92 / 255.0, 231 / 255.0, 24 / 255.0, 1),
                  UIColor::colorWithRed(42 / 255.0, 82 / 255.0, 152 / 255.0, 1)) {}

}  // namespace lumora
