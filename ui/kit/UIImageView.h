#pragma once

#include <memory>

#include "platform/graphics/RGBAImage.h"
#include "ui/kit/UIView.h"

namespace lumora {

// Shows an image (or its highlighted image) by the view's content mode;
// also shows a decoded picture (RGBAImage) handed to it.
class UIImageView : public UIView {
public:
    explicit UIImageView(const CGRect& frame = CGRectZero);
    explicit UIImageView(std::shared_ptr<UIImage> image);

    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image);
    const std::shared_ptr<UIImage>& highlightedImage() const { return highlightedImage_; }
    void setHighlightedImage(std::shared_ptr<UIImage> image);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on);
    // A copy of the picture becomes the image.
    void setPicture(const RGBAImage& picture);

    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(const CGRect& rect) override;

private:
    std::shared_ptr<UIImage> image_;
    std::shared_ptr<UIImage> highlightedImage_;
    bool highlighted_ = false;
};

}  // namespace lumora
