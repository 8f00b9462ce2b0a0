#pragma once

#include "ui/kit/UIView.h"

namespace lumora {

enum class UIProgressViewStyle { Default, Bar };

// A bar filled to progress (0 to 1).
class UIProgressView : public UIView {
public:
    explicit UIProgressView(UIProgressViewStyle style = UIProgressViewStyle::Default);
    float progress() const { return progress_; }
    void setProgress(float progress, bool animated = false);
    UIColor progressTintColor;
    UIColor trackTintColor;
    void drawRect(const CGRect& rect) override;

private:
    UIProgressViewStyle style_;
    float progress_ = 0;
};

}  // namespace lumora
