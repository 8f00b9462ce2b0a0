#include "ui/kit/UIImageView.h"

#include "ui/kit/CGContext.h"

namespace lumora {

UIImageView::UIImageView(const CGRect& frame) : UIView(frame) { setUserInteractionEnabled(false); }

UIImageView::UIImageView(std::shared_ptr<UIImage> image) : UIView(CGRectZero) {
    setUserInteractionEnabled(false);
    setImage(std::move(image));
    if (image_) setFrame(CGRect{{0, 0}, image_->size()});
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
    image_ = std::move(image);
    update();
}

void UIImageView::setHighlightedImage(std::shared_ptr<UIImage> image) {
    highlightedImage_ = std::move(image);
    update();
}

void UIImageView::setHighlighted(bool on) {
    highlighted_ = on;
    update();
}

void UIImageView::setPicture(const RGBAImage& picture) { setImage(UIImage::imageWithRGBA(picture)); }

CGSize UIImageView::sizeThatFits(CGSize) const { return image_ ? image_->size() : bounds().size; }

void UIImageView::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    const auto& img = highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
    if (!ctx || !img) return;
    if (img->isResizable())
        img->drawInRect(ctx->painter(), rect);
    else
        img->drawInRect(ctx->painter(), rect, contentMode());
}

}  // namespace lumora
