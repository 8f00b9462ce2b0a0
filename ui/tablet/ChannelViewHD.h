#pragma once

#include "ui/common/ChannelView.h"

namespace lumora {

// The root view of a tablet video tile: the pane frame in green when the
// tile is selected and blue otherwise.
class ChannelViewHD : public ChannelView {
public:
    explicit ChannelViewHD(const CGRect& frame = CGRectZero);
};

}  // namespace lumora
