#pragma once

#include "ui/kit/UIView.h"

namespace lumora {

enum class UIActivityIndicatorViewStyle { WhiteLarge, White, Gray };

// A spinner. It shows a still picture (pictures stay the same between
// runs); hidden while stopped when hidesWhenStopped.
class UIActivityIndicatorView : public UIView {
public:
    explicit UIActivityIndicatorView(UIActivityIndicatorViewStyle style = UIActivityIndicatorViewStyle::White);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool on);
    UIActivityIndicatorViewStyle style() const { return style_; }
    void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);

    void drawRect(const CGRect& rect) override;

private:
    UIActivityIndicatorViewStyle style_;
    bool animating_ = false;
    bool hidesWhenStopped_ = true;
};

}  // namespace lumora
