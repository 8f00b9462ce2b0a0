#pragma once

#include "ui/kit/UIProgressView.h"

namespace lumora {

// A dial showing a fraction as a white pie inside a thin white ring.
class MBRoundProgressView : public UIProgressView {
public:
    MBRoundProgressView();  // 37 x 37
    static MBRoundProgressView* initWithDefaultSize() { return new MBRoundProgressView(); }
    void drawRect(const CGRect& rect) override;
};

}  // namespace lumora
