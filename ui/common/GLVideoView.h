#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIImageView.h"

namespace lumora {

class QvGLView;

// A video pane's picture on screen: owns a QvGLView that draws on the shared
// render thread and shows each presented picture (handed over on the main
// queue). Main thread only.
class GLVideoView : public UIImageView {
public:
    explicit GLVideoView(const CGRect& frame = CGRectZero);
    ~GLVideoView() override;

    // The frame of this view and of the drawing's render buffer.
    void updateFrame(const CGRect& frame);
    bool render(const std::vector<uint8_t>& yuv, int width, int height);
    bool renderOnFullScreen(const std::vector<uint8_t>& yuv, int width, int height);
    // Clears to black and forgets the last picture.
    void renderClear();
    // The next picture drawn is also written there as PNG.
    void takeSnapshot(const std::string& path);
    void setZoomScale(float scale);
    float zoomScale() const;

    // Pictures presented so far (shown or replaced by a newer one).
    uint64_t presentedCount() const { return presented_; }
    uint64_t clearCount() const { return clears_; }
    bool hasPicture() const { return hasPicture_; }
    // Safe to use from other queues (the zoom hand-off).
    const std::shared_ptr<QvGLView>& glView() const { return gl_; }

private:
    std::shared_ptr<QvGLView> gl_;
    uint64_t presented_ = 0;
    uint64_t clears_ = 0;
    bool hasPicture_ = false;
};

}  // namespace lumora
