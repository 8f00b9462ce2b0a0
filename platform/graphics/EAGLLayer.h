#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/graphics/RGBAImage.h"
#include "platform/graphics/View.h"

namespace lumora {

// The layer an OpenGL ES view draws into: it gives a render buffer its pixel
// size (GLContext::renderbufferStorageFromDrawable) and receives each
// presented picture (GLContext::presentRenderbuffer).
//
// There is no compositor here: "presenting" stores the picture as the
// layer's contents, where a window (or a test) reads it, and hands it to the
// present handler when one is set.
//
// Geometry (bounds, contents scale, opacity) belongs to the main thread.
// contents(), presentCount() and the present handler may be used from any
// thread; the handler runs on the presenting thread.
class EAGLLayer {
public:
    struct PixelSize {
        int width = 0;
        int height = 0;
    };
    using PresentHandler = std::function<void(const RGBAImage&)>;

    // The largest drawable side; larger sizes give an empty drawable.
    static constexpr int kMaxDrawableSide = 16384;

    Size bounds() const { return bounds_; }
    void setBounds(Size bounds) { bounds_ = bounds; }
    double contentsScale() const { return contentsScale_; }
    void setContentsScale(double scale) { contentsScale_ = scale; }
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }

    // Bounds times contents scale, rounded to whole pixels; 0 x 0 for sizes
    // that are not positive, not finite or above kMaxDrawableSide.
    PixelSize drawableSize() const;

    // The last presented picture (top row first); empty before the first.
    RGBAImage contents() const;
    // The same without copying the pixels: the picture is never changed once
    // presented (a later present replaces it). Null before the first.
    std::shared_ptr<const RGBAImage> contentsImage() const;
    // How many pictures were presented so far.
    uint64_t presentCount() const;
    void setPresentHandler(PresentHandler handler);

    // Called by the presenting context.
    void present(RGBAImage image);

private:
    Size bounds_;
    double contentsScale_ = 1.0;
    bool opaque_ = false;

    mutable std::mutex lock_;
    std::shared_ptr<const RGBAImage> contents_;
    uint64_t presentCount_ = 0;
    PresentHandler handler_;
};

}  // namespace lumora
