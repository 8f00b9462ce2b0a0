#include "platform/graphics/EAGLLayer.h"

#include <cmath>

namespace lumora {

EAGLLayer::PixelSize EAGLLayer::drawableSize() const {
    const double w = std::round(bounds_.width * contentsScale_);
    const double h = std::round(bounds_.height * contentsScale_);
    if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0 || w > kMaxDrawableSide || h > kMaxDrawableSide)
        return {};
    return PixelSize{static_cast<int>(w), static_cast<int>(h)};
}

RGBAImage EAGLLayer::contents() const {
    std::shared_ptr<const RGBAImage> image = contentsImage();
    return image ? *image : RGBAImage{};
}

std::shared_ptr<const RGBAImage> EAGLLayer::contentsImage() const {
    std::lock_guard<std::mutex> g(lock_);
    return contents_;
}

uint64_t EAGLLayer::presentCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return presentCount_;
}

void EAGLLayer::setPresentHandler(PresentHandler handler) {
    std::lock_guard<std::mutex> g(lock_);
    handler_ = std::move(handler);
}

void EAGLLayer::present(RGBAImage image) {
    PresentHandler handler;
    auto shown = std::make_shared<const RGBAImage>(std::move(image));
    {
        std::lock_guard<std::mutex> g(lock_);
        contents_ = shown;
        ++presentCount_;
        handler = handler_;
    }
    // Outside the lock: the handler may read contents() again.
    if (handler) handler(*shown);
}

}  // namespace lumora
