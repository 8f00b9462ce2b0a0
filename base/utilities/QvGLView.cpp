#include "base/utilities/QvGLView.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/PNGWriter.h"
#include "platform/graphics/Screen.h"

namespace lumora {

namespace {

// The quad: x, y, z, u, v per vertex. The picture's first row (v = 0) is at
// the top (y = 1).
constexpr GLfloat kVertices[4][5] = {
    {1.0f, -1.0f, 0.0f, 1.0f, 1.0f},
    {1.0f, 1.0f, 0.0f, 1.0f, 0.0f},
    {-1.0f, 1.0f, 0.0f, 0.0f, 0.0f},
    {-1.0f, -1.0f, 0.0f, 0.0f, 1.0f},
};
constexpr GLubyte kIndices[6] = {0, 1, 2, 2, 3, 0};
constexpr GLsizei kVertexStride = 5 * sizeof(GLfloat);
constexpr size_t kTexCoordOffset = 3 * sizeof(GLfloat);
constexpr GLsizei kShaderLogMax = 256;
// Drawing areas larger than this are clipped anyway; the cap keeps the
// integer conversion defined for absurd frames.
constexpr double kMaxAreaSide = 1 << 20;

std::string resourceDir() {
    const std::string& dir = Config::shared().resourceDir;
    return dir.empty() ? Config::installedResourceDir() : dir;
}

bool readText(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return false;
    out = ss.str();
    return true;
}

GLuint compileShader(const std::string& name, GLenum type) {
    const std::string path = resourceDir() + "/" + name + "." + QvGLView::kShaderType;
    std::string text;
    if (!readText(path, text)) {
        Log::warn("QvGLView", "cannot read shader %s", path.c_str());
        return 0;
    }
    GLuint shader = glCreateShader(type);
    if (!shader) return 0;
    const char* source = text.c_str();
    const GLint length = static_cast<GLint>(text.size());
    glShaderSource(shader, 1, &source, &length);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[kShaderLogMax] = {};
        glGetShaderInfoLog(shader, kShaderLogMax, nullptr, log);
        Log::warn("QvGLView", "shader %s does not compile: %s", name.c_str(), log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

void deleteTexture(GLuint& texture) {
    if (texture) glDeleteTextures(1, &texture);
    texture = 0;
}

}  // namespace

size_t QvGLView::yuvSize(int width, int height) {
    if (width < 2 || height < 2) return 0;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    return w * h + 2 * (w / 2) * (h / 2);
}

QvGLView::Viewport QvGLView::drawingArea(const Rect& frame, double screenScale, float zoomScale) {
    const double zoom = std::isfinite(zoomScale) && zoomScale > 0 ? zoomScale : 1.0;
    auto side = [&](double points) {
        const double pixels = screenScale * points / zoom;
        if (!std::isfinite(pixels) || pixels <= 0) return 0;
        return static_cast<int>(std::min(pixels, kMaxAreaSide));  // integer part
    };
    return Viewport{0, 0, side(frame.width), side(frame.height)};
}

QvGLView::Viewport QvGLView::fittedViewport(int areaWidth, int areaHeight, int width, int height) {
    if (areaWidth <= 0 || areaHeight <= 0 || width <= 0 || height <= 0) return Viewport{};
    const int64_t vw = areaWidth, vh = areaHeight, w = width, h = height;
    if (vw * h <= vh * w) {
        // As wide as the area or wider: full width, bars above and below.
        const int64_t t = vw * h / w;
        return Viewport{0, static_cast<int>((vh - t) / 2), areaWidth, static_cast<int>(t)};
    }
    const int64_t l = vh * w / h;
    return Viewport{static_cast<int>((vw - l) / 2), 0, static_cast<int>(l), areaHeight};
}

QvGLView::Viewport QvGLView::filledViewport(int areaWidth, int areaHeight, int width, int height) {
    if (areaWidth <= 0 || areaHeight <= 0 || width <= 0 || height <= 0) return Viewport{};
    const int64_t vw = areaWidth, vh = areaHeight, w = width, h = height;
    if (vw * h >= vh * w) {
        // The area is as wide as the picture or wider: full width, the
        // picture's top and bottom overhang.
        const int64_t t = vw * h / w;
        return Viewport{0, static_cast<int>((vh - t) / 2), areaWidth, static_cast<int>(t)};
    }
    const int64_t l = vh * w / h;
    return Viewport{static_cast<int>((vw - l) / 2), 0, static_cast<int>(l), areaHeight};
}

// ---------------------------------------------------------------- drawing side

// Everything the GL work needs, kept apart from the view so that work queued
// on a render thread can finish (or be dropped) after the view is gone.
struct QvGLView::Drawer {
    // The picture the next draw task takes; replaced while it waits.
    struct Slot {
        std::vector<uint8_t> yuv;
        int width = 0;
        int height = 0;
        Placement placement = Placement::Fitted;
        Rect frame;
        double screenScale = 1.0;
        bool taken = false;
    };

    std::shared_ptr<EAGLLayer> layer = std::make_shared<EAGLLayer>();
    std::unique_ptr<GLContext> ownContext;  // drawing on the calling thread
    GLContext* context = nullptr;           // ownContext, or the render thread's
    std::atomic<bool> ready{false};
    std::atomic<float> zoomScale{1.0f};
    bool onRenderThread = false;
    bool drewOnce = false;
    std::weak_ptr<MainSide> mainSide;  // for the hand-over to the main queue

    mutable std::mutex snapshotLock;
    std::deque<std::string> snapshotRequests;
    SnapshotHandler snapshotHandler;

    // The slot a queued draw task will take; null when none waits.
    std::mutex slotLock;
    std::shared_ptr<Slot> openSlot;
    std::vector<uint8_t> spare;  // a picture buffer to reuse
    std::atomic<uint64_t> replaced{0};

    // Render thread (or calling thread) only, below.
    int maxTextureSize = 0;
    std::string lastRefusal;
    unsigned frameBuffer = 0;
    unsigned colorRenderBuffer = 0;
    unsigned program = 0;
    int positionSlot = -1;
    int texCoordSlot = -1;
    int projectionUniform = -1;
    int modelViewUniform = -1;
    int samplerYUniform = -1;
    int samplerUUniform = -1;
    int samplerVUniform = -1;
    unsigned vertexBuffer = 0;
    unsigned indexBuffer = 0;
    unsigned samplerYTexture = 0;
    unsigned samplerUTexture = 0;
    unsigned samplerVTexture = 0;

    bool setUp(Size bounds, double contentScale);
    void tearDown();
    bool makeCurrent();
    bool loadProgram();
    void allocateDrawable(Size bounds, double contentScale);
    bool acceptPicture(const uint8_t* yuv, size_t length, int width, int height);
    bool draw(const uint8_t* yuv, size_t length, int width, int height, Placement placement, const Rect& frame,
              double screenScale);
    void drawSlot(const std::shared_ptr<Slot>& slot);
    void uploadTextures(const uint8_t* yuv, int width, int height);
    void deleteTextures();
    void clear();
    bool snapshot(const std::string& path);
    void reportSnapshot(const std::string& path, bool written, const SnapshotHandler& handler);
    void presented();
};

// The main thread's side: handlers, and whether a presentation report is
// already on its way.
struct QvGLView::MainSide {
    PresentedHandler presentedHandler;
    std::shared_ptr<Drawer> drawer;
    std::string lastRefusal;
    std::atomic<bool> reportPending{false};
};

bool QvGLView::Drawer::setUp(Size bounds, double contentScale) {
    layer->setOpaque(true);
    if (!context || !GLContext::setCurrentContext(context)) return false;

    glGenRenderbuffers(1, &colorRenderBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderBuffer);
    glGenFramebuffers(1, &frameBuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
    allocateDrawable(bounds, contentScale);

    if (!loadProgram()) return false;

    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    maxTextureSize = maxTexture;

    glGenBuffers(1, &vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof kVertices, kVertices, GL_STATIC_DRAW);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof kIndices, kIndices, GL_STATIC_DRAW);
    return glGetError() == GL_NO_ERROR;
}

void QvGLView::Drawer::tearDown() {
    if (!context) return;
    if (GLContext::setCurrentContext(context)) {
        if (frameBuffer) glDeleteFramebuffers(1, &frameBuffer);
        if (colorRenderBuffer) glDeleteRenderbuffers(1, &colorRenderBuffer);
        if (vertexBuffer) glDeleteBuffers(1, &vertexBuffer);
        if (indexBuffer) glDeleteBuffers(1, &indexBuffer);
        if (program) glDeleteProgram(program);
        deleteTextures();
        frameBuffer = colorRenderBuffer = vertexBuffer = indexBuffer = program = 0;
    }
    ready = false;
    if (ownContext) {
        if (ownContext->isCurrent()) GLContext::setCurrentContext(nullptr);
        ownContext.reset();
    }
    context = nullptr;
}

bool QvGLView::Drawer::loadProgram() {
    GLuint vertex = compileShader(kVertexShaderName, GL_VERTEX_SHADER);
    GLuint fragment = vertex ? compileShader(kFragmentShaderName, GL_FRAGMENT_SHADER) : 0;
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        return false;
    }
    program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    // The program keeps what it needs; the shaders go with it.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[kShaderLogMax] = {};
        glGetProgramInfoLog(program, kShaderLogMax, nullptr, log);
        Log::warn("QvGLView", "shader program does not link: %s", log);
        return false;
    }
    glUseProgram(program);

    positionSlot = glGetAttribLocation(program, "Position");
    texCoordSlot = glGetAttribLocation(program, "TexCoordIn");
    projectionUniform = glGetUniformLocation(program, "Projection");
    modelViewUniform = glGetUniformLocation(program, "Modelview");
    samplerYUniform = glGetUniformLocation(program, "samplerY");
    samplerUUniform = glGetUniformLocation(program, "samplerU");
    samplerVUniform = glGetUniformLocation(program, "samplerV");
    if (positionSlot < 0 || texCoordSlot < 0) {
        Log::warn("QvGLView", "shader program lacks Position or TexCoordIn");
        return false;
    }
    glEnableVertexAttribArray(static_cast<GLuint>(positionSlot));
    glEnableVertexAttribArray(static_cast<GLuint>(texCoordSlot));
    return true;
}

void QvGLView::Drawer::allocateDrawable(Size bounds, double contentScale) {
    // The layer is the view's backing: its size follows the view's bounds.
    layer->setBounds(bounds);
    layer->setContentsScale(contentScale);
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderBuffer);
    context->renderbufferStorageFromDrawable(layer);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorRenderBuffer);
    // An incomplete frame buffer (an empty view) simply draws nothing.
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        const EAGLLayer::PixelSize size = layer->drawableSize();
        Log::warn("QvGLView", "frame buffer incomplete (0x%04x) for %dx%d pixels", status, size.width,
                    size.height);
    }
}

bool QvGLView::Drawer::makeCurrent() {
    if (!ready || !GLContext::setCurrentContext(context)) return false;
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderBuffer);
    return true;
}

namespace {

// Why a picture cannot be drawn; empty when it can.
std::string refusalFor(const uint8_t* yuv, size_t length, int width, int height, int maxTextureSize) {
    char buf[160];
    if (!yuv) return "no picture";
    if (width < 2 || height < 2 || width > maxTextureSize || height > maxTextureSize) {
        std::snprintf(buf, sizeof buf, "picture size %dx%d cannot be drawn (2 to %d pixels a side)", width, height,
                      maxTextureSize);
        return buf;
    }
    if (length < QvGLView::yuvSize(width, height)) {
        std::snprintf(buf, sizeof buf, "picture of %zu bytes is shorter than %dx%d YUV 4:2:0 (%zu bytes)", length,
                      width, height, QvGLView::yuvSize(width, height));
        return buf;
    }
    return {};
}

// Says why once per kind of bad picture, not once per frame.
bool accept(const std::string& refusal, std::string& lastRefusal) {
    if (refusal.empty()) {
        lastRefusal.clear();
        return true;
    }
    if (refusal != lastRefusal) Log::warn("QvGLView", "%s: not drawn", refusal.c_str());
    lastRefusal = refusal;
    return false;
}

}  // namespace

bool QvGLView::Drawer::acceptPicture(const uint8_t* yuv, size_t length, int width, int height) {
    return accept(refusalFor(yuv, length, width, height, maxTextureSize), lastRefusal);
}

void QvGLView::Drawer::uploadTextures(const uint8_t* yuv, int width, int height) {
    const size_t lumaBytes = static_cast<size_t>(width) * height;
    const size_t chromaBytes = static_cast<size_t>(width / 2) * (height / 2);
    struct Plane {
        const uint8_t* data;
        int width;
        int height;
        GLuint* texture;
        GLint uniform;
    } planes[3] = {
        {yuv, width, height, &samplerYTexture, samplerYUniform},
        {yuv + lumaBytes, width / 2, height / 2, &samplerUTexture, samplerUUniform},
        {yuv + lumaBytes + chromaBytes, width / 2, height / 2, &samplerVTexture, samplerVUniform},
    };
    // Plane rows are packed: rows of odd length must not be read as padded
    // to 4 bytes (that would read past the picture and skew it).
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int unit = 0; unit < 3; ++unit) {
        Plane& p = planes[unit];
        deleteTexture(*p.texture);
        glActiveTexture(GL_TEXTURE0 + unit);
        glGenTextures(1, p.texture);
        glBindTexture(GL_TEXTURE_2D, *p.texture);
        glUniform1i(p.uniform, unit);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, p.width, p.height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, p.data);
    }
}

void QvGLView::Drawer::deleteTextures() {
    deleteTexture(samplerYTexture);
    deleteTexture(samplerUTexture);
    deleteTexture(samplerVTexture);
}

bool QvGLView::Drawer::draw(const uint8_t* yuv, size_t length, int width, int height, Placement placement,
                            const Rect& frame, double screenScale) {
    if (!ready || !acceptPicture(yuv, length, width, height) || !makeCurrent()) return false;
    // Without a drawable nothing can be drawn; a pending snapshot waits for
    // a picture that is.
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;

    const Viewport area = drawingArea(frame, screenScale, zoomScale.load(std::memory_order_relaxed));
    // The fitted drawing (and the filled one, drawn the same way) clears the
    // colour only, draws the indices as a strip and drops its textures after
    // presenting; the stretched one clears depth too, draws a triangle list
    // and keeps its textures until the next picture.
    const bool stretched = placement == Placement::Stretched;
    const Viewport vp = placement == Placement::Fitted   ? fittedViewport(area.width, area.height, width, height)
                        : placement == Placement::Filled ? filledViewport(area.width, area.height, width, height)
                                                         : area;

    glClearColor(0, 0, 0, 1);
    glClear(stretched ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT : GL_COLOR_BUFFER_BIT);
    glViewport(vp.x, vp.y, vp.width, vp.height);

    glUseProgram(program);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glVertexAttribPointer(static_cast<GLuint>(positionSlot), 3, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
    glVertexAttribPointer(static_cast<GLuint>(texCoordSlot), 2, GL_FLOAT, GL_FALSE, kVertexStride,
                          reinterpret_cast<const void*>(kTexCoordOffset));

    uploadTextures(yuv, width, height);
    // Indices 0 1 2 2 3 0 as a strip: triangles 0-1-2 and 2-3-0 plus two
    // empty ones; as a list: the same two triangles.
    glDrawElements(stretched ? GL_TRIANGLES : GL_TRIANGLE_STRIP, 6, GL_UNSIGNED_BYTE, nullptr);

    std::string snapshotPath;
    bool hasSnapshot = false;
    SnapshotHandler handler;
    {
        std::lock_guard<std::mutex> g(snapshotLock);
        if (!snapshotRequests.empty()) {
            snapshotPath = std::move(snapshotRequests.front());
            snapshotRequests.pop_front();
            hasSnapshot = true;
            handler = snapshotHandler;
        }
    }
    const bool written = hasSnapshot && snapshot(snapshotPath);

    if (context->presentRenderbuffer()) presented();
    if (!stretched) deleteTextures();
    if (onRenderThread && !drewOnce) {
        drewOnce = true;
        RenderThread::endBeforeDriverTeardown();
    }
    if (hasSnapshot) reportSnapshot(snapshotPath, written, handler);
    return true;
}

void QvGLView::Drawer::drawSlot(const std::shared_ptr<Slot>& slot) {
    Slot picture;
    {
        std::lock_guard<std::mutex> g(slotLock);
        if (openSlot == slot) openSlot.reset();
        slot->taken = true;
        picture = std::move(*slot);
    }
    if (picture.yuv.empty()) return;  // dropped when its view went
    draw(picture.yuv.data(), picture.yuv.size(), picture.width, picture.height, picture.placement, picture.frame,
         picture.screenScale);
    std::lock_guard<std::mutex> g(slotLock);
    spare = std::move(picture.yuv);
}

void QvGLView::Drawer::clear() {
    if (!makeCurrent()) return;
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (context->presentRenderbuffer()) presented();
    deleteTextures();
}

void QvGLView::Drawer::presented() {
    if (!onRenderThread) return;
    std::shared_ptr<MainSide> side = mainSide.lock();
    // One report on its way is enough: it hands over the newest picture.
    if (!side || side->reportPending.exchange(true)) return;
    DispatchQueue::main()->async([weak = mainSide] {
        std::shared_ptr<MainSide> side = weak.lock();
        if (!side) return;
        side->reportPending = false;
        if (side->presentedHandler) side->presentedHandler(side->drawer->layer->contentsImage());
    });
}

void QvGLView::Drawer::reportSnapshot(const std::string& path, bool written, const SnapshotHandler& handler) {
    if (!handler) return;
    if (!onRenderThread) {
        handler(path, written);
        return;
    }
    DispatchQueue::main()->async([weak = mainSide, handler, path, written] {
        if (weak.lock()) handler(path, written);
    });
}

bool QvGLView::Drawer::snapshot(const std::string& path) {
    if (!makeCurrent()) return false;
    GLint width = 0, height = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &height);
    if (width <= 0 || height <= 0 || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        Log::warn("QvGLView", "no picture to write to %s", path.c_str());
        return false;
    }

    RGBAImage image;
    image.width = width;
    image.height = height;
    const size_t rowBytes = image.rowBytes();
    std::vector<uint8_t> bottomUp(rowBytes * static_cast<size_t>(height));
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    if (glGetError() != GL_NO_ERROR) {
        Log::warn("QvGLView", "cannot read the picture for %s", path.c_str());
        return false;
    }
    // GL's rows run bottom-up; the file's run top-down. The fourth byte is
    // not used: the picture is opaque.
    image.pixels.resize(bottomUp.size());
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = image.pixels.data() + static_cast<size_t>(y) * rowBytes;
        std::memcpy(dst, bottomUp.data() + static_cast<size_t>(height - 1 - y) * rowBytes, rowBytes);
        for (int x = 0; x < width; ++x) dst[x * 4 + 3] = 0xFF;
    }
    return PNGWriter::write(path, image);
}

// ---------------------------------------------------------------- the view

QvGLView::QvGLView(const Rect& frame)
    : View(frame), drawer_(std::make_shared<Drawer>()), mainSide_(std::make_shared<MainSide>()) {
    setOpaque(true);
    mainSide_->drawer = drawer_;
    drawer_->mainSide = mainSide_;
    drawer_->ownContext = GLContext::create();
    drawer_->context = drawer_->ownContext.get();
    drawer_->ready = drawer_->setUp(bounds().size(), contentScaleFactor());
    if (!drawer_->ready) Log::warn("QvGLView", "OpenGL ES 2 set-up failed; the view draws nothing");
}

QvGLView::QvGLView(const Rect& frame, std::shared_ptr<RenderThread> renderThread)
    : View(frame),
      renderThread_(renderThread ? std::move(renderThread) : RenderThread::shared()),
      drawer_(std::make_shared<Drawer>()),
      mainSide_(std::make_shared<MainSide>()) {
    setOpaque(true);
    mainSide_->drawer = drawer_;
    drawer_->mainSide = mainSide_;
    drawer_->onRenderThread = true;
    renderThread_->async([d = drawer_, t = renderThread_.get(), size = bounds().size(), scale = contentScaleFactor()] {
        d->context = t->context();
        d->ready = d->setUp(size, scale);
        if (!d->ready) Log::warn("QvGLView", "OpenGL ES 2 set-up failed; the view draws nothing");
    });
}

QvGLView::~QvGLView() {
    if (!renderThread_) {
        drawer_->tearDown();
        return;
    }
    // Waiting pictures are dropped; the GL objects go on their own thread.
    {
        std::lock_guard<std::mutex> g(drawer_->slotLock);
        if (drawer_->openSlot) drawer_->openSlot->yuv.clear();
        drawer_->openSlot.reset();
    }
    // The view waits for its GL objects to go: once no view is left, no GL
    // work is left on the render thread either, so a process can end
    // without the driver being torn down under a drawing.
    renderThread_->sync([d = std::move(drawer_)] { d->tearDown(); });
    RenderThread::release(renderThread_);
}

bool QvGLView::isReady() const {
    waitUntilDrawn();
    return drawer_->ready;
}

void QvGLView::waitUntilDrawn() const {
    if (renderThread_) renderThread_->flush();
}

uint64_t QvGLView::replacedPictureCount() const { return drawer_->replaced; }

EAGLLayer& QvGLView::layer() { return *drawer_->layer; }
const EAGLLayer& QvGLView::layer() const { return *drawer_->layer; }

float QvGLView::zoomScale() const { return drawer_->zoomScale.load(std::memory_order_relaxed); }
void QvGLView::setZoomScale(float scale) { drawer_->zoomScale.store(scale, std::memory_order_relaxed); }

void QvGLView::updateFrame(const Rect& frame) {
    setFrame(frame);
    auto realloc = [d = drawer_, size = bounds().size(), scale = contentScaleFactor()] {
        if (!d->ready || !GLContext::setCurrentContext(d->context)) return;
        d->allocateDrawable(size, scale);
    };
    if (!renderThread_) {
        realloc();
        return;
    }
    {
        // Pictures given after this must not be drawn before it.
        std::lock_guard<std::mutex> g(drawer_->slotLock);
        drawer_->openSlot.reset();
    }
    renderThread_->async(std::move(realloc));
}

bool QvGLView::render(const uint8_t* yuv, size_t length, int width, int height) {
    return submit(yuv, length, width, height, Placement::Fitted);
}

bool QvGLView::renderOnFullScreen(const uint8_t* yuv, size_t length, int width, int height) {
    return submit(yuv, length, width, height, Placement::Stretched);
}

bool QvGLView::renderAspectFill(const uint8_t* yuv, size_t length, int width, int height) {
    return submit(yuv, length, width, height, Placement::Filled);
}

bool QvGLView::submit(const uint8_t* yuv, size_t length, int width, int height, Placement placement) {
    if (!renderThread_)
        return drawer_->draw(yuv, length, width, height, placement, frame(), Screen::main().scale());
    // Refuse what cannot be drawn before copying it; the size limit of the
    // textures is checked again on the render thread.
    if (!accept(refusalFor(yuv, length, width, height, EAGLLayer::kMaxDrawableSide), mainSide_->lastRefusal))
        return false;
    const size_t bytes = yuvSize(width, height);
    std::shared_ptr<Drawer::Slot> post;
    {
        std::lock_guard<std::mutex> g(drawer_->slotLock);
        std::shared_ptr<Drawer::Slot> slot = drawer_->openSlot;
        if (slot && !slot->taken) {
            ++drawer_->replaced;
        } else {
            slot = std::make_shared<Drawer::Slot>();
            slot->yuv = std::move(drawer_->spare);
            drawer_->openSlot = slot;
            post = slot;
        }
        slot->yuv.assign(yuv, yuv + bytes);
        slot->width = width;
        slot->height = height;
        slot->placement = placement;
        slot->frame = frame();
        slot->screenScale = Screen::main().scale();
    }
    if (post) renderThread_->async([d = drawer_, post] { d->drawSlot(post); });
    return true;
}

void QvGLView::renderClear() {
    if (!renderThread_) {
        drawer_->clear();
        return;
    }
    {
        std::lock_guard<std::mutex> g(drawer_->slotLock);
        drawer_->openSlot.reset();
    }
    renderThread_->async([d = drawer_] { d->clear(); });
}

void QvGLView::takeSnapshot(const std::string& path) {
    std::lock_guard<std::mutex> g(drawer_->snapshotLock);
    drawer_->snapshotRequests.push_back(path);
}

size_t QvGLView::pendingSnapshotCount() const {
    std::lock_guard<std::mutex> g(drawer_->snapshotLock);
    return drawer_->snapshotRequests.size();
}

void QvGLView::setSnapshotHandler(SnapshotHandler handler) {
    std::lock_guard<std::mutex> g(drawer_->snapshotLock);
    drawer_->snapshotHandler = std::move(handler);
}

void QvGLView::setPresentedHandler(PresentedHandler handler) { mainSide_->presentedHandler = std::move(handler); }

bool QvGLView::snapshot(const std::string& path) {
    if (!renderThread_) return drawer_->snapshot(path);
    bool written = false;
    renderThread_->sync([&] { written = drawer_->snapshot(path); });
    return written;
}

}  // namespace lumora
