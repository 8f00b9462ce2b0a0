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
#include "platform/graphics/RenderThread.h"
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
// stretches it over the whole view; renderAspectFill() fills the view with
// the aspect ratio kept, cutting off what overhangs (the movie player's
// aspect-fill scaling).
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
// Where the GL work runs:
// - Made with a render thread (the way screens make it): the view's GL
//   objects live in that thread's context and every GL call runs there. The
//   drawing operations copy the picture, note the view's geometry at the
//   moment of the call and return at once; a picture that is still waiting
//   when a newer one comes is replaced by it (live video shows the newest,
//   never a backlog). After each presentation the presented handler runs on
//   the main queue (once for a run of pictures presented before it got to
//   run) with the layer's picture: a screen view repaints from it. Snapshot
//   reports come on the main queue too. waitUntilDrawn() waits for the
//   render thread (tests, and before reading the layer directly). Pictures
//   still waiting when the view goes are dropped; the view's destruction
//   waits for the render thread to delete its GL objects (behind the work
//   already queued there, a drawing or two).
// - Made without one: the view has a context of its own and draws on the
//   calling thread, at once.
//
// Threads: the drawing operations, updateFrame(), takeSnapshot() and the
// handlers belong to the main thread; setZoomScale() and zoomScale() may be
// called from any thread. Each operation makes the right context current
// first, so several views may share a thread.
//
// When OpenGL ES 2 cannot be set up (no context, a missing shader file, a
// shader that does not compile or link) the view is not ready: it prints
// why, and draws nothing (drawing on the calling thread answers false).
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
    // Called after each snapshot attempt, after the picture was presented:
    // the path and whether the file was written. On the drawing thread for
    // a view that draws on the calling thread, on the main queue otherwise.
    using SnapshotHandler = std::function<void(const std::string& path, bool written)>;
    // Called on the main queue after pictures were presented, with the
    // layer's newest picture.
    using PresentedHandler = std::function<void(const std::shared_ptr<const RGBAImage>& picture)>;

    // Shader files in the resource folder (Config::resourceDir).
    static constexpr const char* kVertexShaderName = "SimpleVertex";
    static constexpr const char* kFragmentShaderName = "SimpleFragment";
    static constexpr const char* kShaderType = "glsl";

    // initWithFrame: zoom scale 1, content scale = the main screen's scale,
    // opaque layer, a context, frame buffer, program and quad. Draws on the
    // calling thread.
    explicit QvGLView(const Rect& frame);
    // The same, with every GL step on `renderThread` (null: a shared render
    // thread, RenderThread::shared()).
    QvGLView(const Rect& frame, std::shared_ptr<RenderThread> renderThread);
    ~QvGLView() override;

    // Whether GL could be set up. A view on a render thread waits for the
    // thread's set-up first.
    bool isReady() const;
    bool drawsOnRenderThread() const { return renderThread_ != nullptr; }
    const std::shared_ptr<RenderThread>& renderThread() const { return renderThread_; }

    // Sets the frame and gives the render buffer storage of the new size.
    void updateFrame(const Rect& frame);

    // Draws the picture fitted and centred; renderOnFullScreen() stretches it
    // over the whole view; renderAspectFill() fills the view, aspect kept.
    // `length` is the number of bytes at `yuv`: a picture shorter than its
    // planes (yuvSize) or of a size that cannot be drawn is refused, drawing
    // nothing and writing no snapshot. False when the picture was refused
    // (or, drawing on the calling thread, when nothing was drawn).
    bool render(const uint8_t* yuv, size_t length, int width, int height);
    bool render(const std::vector<uint8_t>& yuv, int width, int height) {
        return render(yuv.data(), yuv.size(), width, height);
    }
    bool renderOnFullScreen(const uint8_t* yuv, size_t length, int width, int height);
    bool renderOnFullScreen(const std::vector<uint8_t>& yuv, int width, int height) {
        return renderOnFullScreen(yuv.data(), yuv.size(), width, height);
    }
    bool renderAspectFill(const uint8_t* yuv, size_t length, int width, int height);
    bool renderAspectFill(const std::vector<uint8_t>& yuv, int width, int height) {
        return renderAspectFill(yuv.data(), yuv.size(), width, height);
    }

    // Clears the view to transparent black, presents, and drops the textures.
    void renderClear();

    // Queues a PNG snapshot of the next picture drawn.
    void takeSnapshot(const std::string& path);
    size_t pendingSnapshotCount() const;
    void setSnapshotHandler(SnapshotHandler handler);
    void setPresentedHandler(PresentedHandler handler);

    float zoomScale() const;
    void setZoomScale(float scale);

    // Writes the drawable's current content as an upright PNG; false when
    // the view is not ready, the drawable is empty or the file could not be
    // written (then no file is left at `path`). On a render thread this
    // waits for it: prefer takeSnapshot() on the main thread.
    bool snapshot(const std::string& path);

    // Waits until the render thread has done everything asked of this view
    // so far; nothing for a view that draws on the calling thread.
    void waitUntilDrawn() const;
    // Pictures replaced by a newer one before the render thread drew them.
    uint64_t replacedPictureCount() const;

    EAGLLayer& layer();
    const EAGLLayer& layer() const;

    // Bytes of a packed YUV 4:2:0 picture; 0 for sizes below 2 x 2.
    static size_t yuvSize(int width, int height);
    // The drawing area in pixels for a view frame, screen scale and zoom
    // scale (a zoom scale that is not positive and finite counts as 1).
    static Viewport drawingArea(const Rect& frame, double screenScale, float zoomScale);
    // The aspect-fitted, centred viewport of a width x height picture in an
    // area of areaWidth x areaHeight pixels.
    static Viewport fittedViewport(int areaWidth, int areaHeight, int width, int height);
    // The aspect-filling, centred viewport: covers the whole area, reaching
    // past it on two sides.
    static Viewport filledViewport(int areaWidth, int areaHeight, int width, int height);

    // How a picture is placed (internal, shared with the drawing side).
    enum class Placement { Fitted, Stretched, Filled };
    struct Drawer;
    struct MainSide;

private:
    bool submit(const uint8_t* yuv, size_t length, int width, int height, Placement placement);

    std::shared_ptr<RenderThread> renderThread_;
    std::shared_ptr<Drawer> drawer_;
    std::shared_ptr<MainSide> mainSide_;
};

}  // namespace lumora
