#pragma once

#include <map>
#include <memory>
#include <string>

#include "ui/kit/UIControl.h"
#include "ui/kit/UIFont.h"

namespace lumora {

enum class UIButtonType { Custom, RoundedRect, DetailDisclosure, InfoLight, InfoDark, ContactAdd };

// A button: title, title colour, image and background image per state
// (normal, highlighted, selected, disabled, falling back to normal), title
// and image insets, font, and a touch area that may reach beyond its bounds
// (setHitTestOutsets).
class UIButton : public UIControl {
public:
    explicit UIButton(const CGRect& frame = CGRectZero, UIButtonType type = UIButtonType::Custom);
    static UIButton* buttonWithType(UIButtonType type);

    UIButtonType buttonType() const { return type_; }
    void setTitle(const std::string& title, unsigned state = UIControlStateNormal);
    std::string titleForState(unsigned state) const;
    std::string currentTitle() const { return titleForState(state()); }
    void setTitleColor(const UIColor& color, unsigned state = UIControlStateNormal);
    UIColor titleColorForState(unsigned state) const;
    void setImage(std::shared_ptr<UIImage> image, unsigned state = UIControlStateNormal);
    std::shared_ptr<UIImage> imageForState(unsigned state) const;
    std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }
    void setBackgroundImage(std::shared_ptr<UIImage> image, unsigned state = UIControlStateNormal);
    std::shared_ptr<UIImage> backgroundImageForState(unsigned state) const;
    std::shared_ptr<UIImage> currentBackgroundImage() const { return backgroundImageForState(state()); }

    UIFont font() const { return font_; }
    void setFont(const UIFont& font);
    UIEdgeInsets titleEdgeInsets() const { return titleInsets_; }
    void setTitleEdgeInsets(UIEdgeInsets insets);
    UIEdgeInsets imageEdgeInsets() const { return imageInsets_; }
    void setImageEdgeInsets(UIEdgeInsets insets);
    UIEdgeInsets contentEdgeInsets() const { return contentInsets_; }
    void setContentEdgeInsets(UIEdgeInsets insets);
    bool adjustsImageWhenHighlighted = true;
    bool showsTouchWhenHighlighted = false;

    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(const CGRect& rect) override;

private:
    template <class T>
    static T pick(const std::map<unsigned, T>& m, unsigned state, const T& none);

    UIButtonType type_;
    std::map<unsigned, std::string> titles_;
    std::map<unsigned, UIColor> titleColors_;
    std::map<unsigned, std::shared_ptr<UIImage>> images_;
    std::map<unsigned, std::shared_ptr<UIImage>> backgrounds_;
    UIFont font_ = UIFont::boldSystemFontOfSize(15);
    UIEdgeInsets titleInsets_, imageInsets_, contentInsets_;
};

}  // namespace lumora
