#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics/EAGLLayer.h"
#include "platform/graphics/GLContext.h"
#include "platform/graphics/View.h"

namespace lumora {

// The view a live-view pane shows decoded video in.
//
// It draws one planar YUV 4:2:0 picture at a time (Y of width x height
// bytes, then U and V of (width / 2) x (height / 2) bytes each, rows packed,
// as the video decoder delivers it) with OpenGL ES 2: three luminance
// textures on a quad covering the drawing area, turned into RGB by the
// fragment shader (BT.601 studio range). render() fits the picture into the
// view with its aspect ratio kept, centred, with black bars; renderOnFullScreen()
// stretches it over the whole view.
//
// The view sits inside the pane's zooming scroll view: the scroll view
// enlarges the view's frame (View::setTransformScale) and, when zooming
// ends, the pane hands the zoom scale to setZoomScale() from its own serial
// queue ("RenderQueue"). Drawing divides the frame by that scale, so the
// picture keeps the view's own size.
//
// Snapshots: takeSnapshot() queues a file path; the next picture drawn is
// also written there as a PNG of the whole drawable (bars included), one
// path per picture, oldest first.
//
// Each drawing is presented to the view's layer (layer().contents()).
//
// Threads: everything runs on the main thread except setZoomScale() and
// zoomScale(), which may be called from any thread, and takeSnapshot(),
// which is locked too. Each operation makes the view's own context current
// first, so several views may share the thread.
//
// When OpenGL ES 2 cannot be set up (no context, a missing shader file, a
// shader that does not compile or link) the view is not ready: it prints
// why, every drawing operation does nothing and answers false.
class QvGLView : public View {
public:
    // Where the drawing lands in the drawable, in pixels, GL's origin at the
    // bottom left.
    struct Viewport {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool operator==(const Viewport& o) const {
            return x == o.x && y == o.y && width == o.width && height == o.height;
        }
    };
    // Called after each snapshot attempt, on the drawing thread, after the
    // picture was presented: the path and whether the file was written.
    using SnapshotHandler = std::function<void(const std::string& path, bool written)>;

    // Shader files in the resource folder (Config::resourceDir).
    static constexpr const char* kVertexShaderName = "SimpleVertex";
    static constexpr const char* kFragmentShaderName = "SimpleFragment";
    static constexpr const char* kShaderType = "glsl";

    // initWithFrame: zoom scale 1, content scale = the main screen's scale,
    // opaque layer, a context, frame buffer, program and quad.
    explicit QvGLView(const Rect& frame);
    ~QvGLView() override;

    bool isReady() const { return ready_; }

    // Sets the frame and gives the render buffer storage of the new size.
    void updateFrame(const Rect& frame);

    // Draws the picture fitted and centred; renderOnFullScreen() stretches it
    // over the whole view. `length` is the number of bytes at `yuv`: a
    // picture shorter than its planes (yuvSize) or of a size that cannot be
    // drawn is refused, drawing nothing and writing no snapshot. False when
    // nothing was drawn.
    bool render(const uint8_t* yuv, size_t length, int width, int height);
    bool render(const std::vector<uint8_t>& yuv, int width, int height) {
        return render(yuv.data(), yuv.size(), width, height);
    }
    bool renderOnFullScreen(const uint8_t* yuv, size_t length, int width, int height);
    bool renderOnFullScreen(const std::vector<uint8_t>& yuv, int width, int height) {
        return renderOnFullScreen(yuv.data(), yuv.size(), width, height);
    }

    // Clears the view to transparent black, presents, and drops the textures.
    void renderClear();

    // Queues a PNG snapshot of the next picture drawn.
    void takeSnapshot(const std::string& path);
    size_t pendingSnapshotCount() const;
    void setSnapshotHandler(SnapshotHandler handler);

    float zoomScale() const { return zoomScale_.load(std::memory_order_relaxed); }
    void setZoomScale(float scale) { zoomScale_.store(scale, std::memory_order_relaxed); }

    // Writes the drawable's current content as an upright PNG; false when
    // the view is not ready, the drawable is empty or the file could not be
    // written (then no file is left at `path`).
    bool snapshot(const std::string& path);

    EAGLLayer& layer() { return *layer_; }
    const EAGLLayer& layer() const { return *layer_; }

    // Bytes of a packed YUV 4:2:0 picture; 0 for sizes below 2 x 2.
    static size_t yuvSize(int width, int height);
    // The drawing area in pixels for a view frame, screen scale and zoom
    // scale (a zoom scale that is not positive and finite counts as 1).
    static Viewport drawingArea(const Rect& frame, double screenScale, float zoomScale);
    // The aspect-fitted, centred viewport of a width x height picture in an
    // area of areaWidth x areaHeight pixels.
    static Viewport fittedViewport(int areaWidth, int areaHeight, int width, int height);

private:
    bool setUp();
    bool makeCurrent();
    bool loadProgram();
    void allocateDrawable();
    bool draw(const uint8_t* yuv, size_t length, int width, int height, bool fitted);
    bool acceptPicture(const uint8_t* yuv, size_t length, int width, int height);
    void uploadTextures(const uint8_t* yuv, int width, int height);
    void deleteTextures();

    std::atomic<float> zoomScale_{1.0f};
    mutable std::mutex snapshotLock_;
    std::deque<std::string> snapshotRequests_;
    SnapshotHandler snapshotHandler_;

    std::shared_ptr<EAGLLayer> layer_;
    std::unique_ptr<GLContext> context_;
    bool ready_ = false;
    int maxTextureSize_ = 0;
    std::string lastRefusal_;

    unsigned frameBuffer_ = 0;
    unsigned colorRenderBuffer_ = 0;
    unsigned program_ = 0;
    int positionSlot_ = -1;
    int texCoordSlot_ = -1;
    int projectionUniform_ = -1;
    int modelViewUniform_ = -1;
    int samplerYUniform_ = -1;
    int samplerUUniform_ = -1;
    int samplerVUniform_ = -1;
    unsigned vertexBuffer_ = 0;
    unsigned indexBuffer_ = 0;
    unsigned samplerYTexture_ = 0;
    unsigned samplerUTexture_ = 0;
    unsigned samplerVTexture_ = 0;
};

}  // namespace lumora
