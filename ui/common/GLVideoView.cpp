#include "ui/kit/WeakView.h"
#include "ui/common/GLVideoView.h"

#include "base/utilities/QvGLView.h"
#include "platform/graphics/RGBAImage.h"

namespace lumora {

namespace {
Rect toRect(const CGRect& r) { return Rect{r.origin.x, r.origin.y, r.size.width, r.size.height}; }
}  // namespace

GLVideoView::GLVideoView(const CGRect& frame) : UIImageView(frame) {
    setBackgroundColor(UIColor::blackColor());
    gl_ = std::make_shared<QvGLView>(toRect(frame), nullptr);
    WeakView<GLVideoView> self(this);
    gl_->setPresentedHandler([self](const std::shared_ptr<const RGBAImage>& picture) {
        if (!self) return;
        ++self->presented_;
        if (!self->hasPicture_ || !picture || picture->empty()) return;
        self->setPicture(*picture);
    });
}

GLVideoView::~GLVideoView() {
    if (gl_) {
        // Pictures still queued for the render thread are finished first, so
        // no GL work of this view runs after it (nor during the process's exit).
        gl_->waitUntilDrawn();
        gl_->setPresentedHandler(nullptr);
        gl_->setSnapshotHandler(nullptr);
    }
}

void GLVideoView::updateFrame(const CGRect& frame) {
    setFrame(frame);
    gl_->updateFrame(toRect(frame));
}

bool GLVideoView::render(const std::vector<uint8_t>& yuv, int width, int height) {
    hasPicture_ = true;
    return gl_->render(yuv, width, height);
}

bool GLVideoView::renderOnFullScreen(const std::vector<uint8_t>& yuv, int width, int height) {
    hasPicture_ = true;
    return gl_->renderOnFullScreen(yuv, width, height);
}

void GLVideoView::renderClear() {
    ++clears_;
    hasPicture_ = false;
    gl_->renderClear();
    setImage(nullptr);
}

void GLVideoView::takeSnapshot(const std::string& path) { gl_->takeSnapshot(path); }
void GLVideoView::setZoomScale(float scale) { gl_->setZoomScale(scale); }
float GLVideoView::zoomScale() const { return gl_->zoomScale(); }

}  // namespace lumora
