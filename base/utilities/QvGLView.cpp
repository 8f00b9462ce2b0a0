#include "base/utilities/QvGLView.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Config.h"
#include "platform/graphics/PNGWriter.h"
#include "platform/graphics/Screen.h"
#include "platform/Log.h"

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

QvGLView::QvGLView(const Rect& frame) : View(frame), layer_(std::make_shared<EAGLLayer>()) {
    ready_ = setUp();
    if (!ready_) Log::warn("QvGLView", "OpenGL ES 2 set-up failed; the view draws nothing");
}

QvGLView::~QvGLView() {
    if (!context_) return;
    if (GLContext::setCurrentContext(context_.get())) {
        if (frameBuffer_) glDeleteFramebuffers(1, &frameBuffer_);
        if (colorRenderBuffer_) glDeleteRenderbuffers(1, &colorRenderBuffer_);
        if (vertexBuffer_) glDeleteBuffers(1, &vertexBuffer_);
        if (indexBuffer_) glDeleteBuffers(1, &indexBuffer_);
        if (program_) glDeleteProgram(program_);
        deleteTextures();
    }
    if (context_->isCurrent()) GLContext::setCurrentContext(nullptr);
    context_.reset();
}

bool QvGLView::setUp() {
    setOpaque(true);
    layer_->setOpaque(true);

    context_ = GLContext::create();
    if (!context_ || !GLContext::setCurrentContext(context_.get())) return false;

    glGenRenderbuffers(1, &colorRenderBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderBuffer_);
    glGenFramebuffers(1, &frameBuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
    allocateDrawable();

    if (!loadProgram()) return false;

    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    maxTextureSize_ = maxTexture;

    glGenBuffers(1, &vertexBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof kVertices, kVertices, GL_STATIC_DRAW);
    glGenBuffers(1, &indexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof kIndices, kIndices, GL_STATIC_DRAW);
    return glGetError() == GL_NO_ERROR;
}

bool QvGLView::loadProgram() {
    GLuint vertex = compileShader(kVertexShaderName, GL_VERTEX_SHADER);
    GLuint fragment = vertex ? compileShader(kFragmentShaderName, GL_FRAGMENT_SHADER) : 0;
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        return false;
    }
    program_ = glCreateProgram();
    glAttachShader(program_, vertex);
    glAttachShader(program_, fragment);
    glLinkProgram(program_);
    // The program keeps what it needs; the shaders go with it.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program_, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[kShaderLogMax] = {};
        glGetProgramInfoLog(program_, kShaderLogMax, nullptr, log);
        Log::warn("QvGLView", "shader program does not link: %s", log);
        return false;
    }
    glUseProgram(program_);

    positionSlot_ = glGetAttribLocation(program_, "Position");
    texCoordSlot_ = glGetAttribLocation(program_, "TexCoordIn");
    projectionUniform_ = glGetUniformLocation(program_, "Projection");
    modelViewUniform_ = glGetUniformLocation(program_, "Modelview");
    samplerYUniform_ = glGetUniformLocation(program_, "samplerY");
    samplerUUniform_ = glGetUniformLocation(program_, "samplerU");
    samplerVUniform_ = glGetUniformLocation(program_, "samplerV");
    if (positionSlot_ < 0 || texCoordSlot_ < 0) {
        Log::warn("QvGLView", "shader program lacks Position or TexCoordIn");
        return false;
    }
    glEnableVertexAttribArray(static_cast<GLuint>(positionSlot_));
    glEnableVertexAttribArray(static_cast<GLuint>(texCoordSlot_));
    return true;
}

void QvGLView::allocateDrawable() {
    // The layer is the view's backing: its size follows the view's bounds.
    layer_->setBounds(bounds().size());
    layer_->setContentsScale(contentScaleFactor());
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderBuffer_);
    context_->renderbufferStorageFromDrawable(layer_);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorRenderBuffer_);
    // An incomplete frame buffer (an empty view) simply draws nothing.
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        const EAGLLayer::PixelSize size = layer_->drawableSize();
        Log::warn("QvGLView", "frame buffer incomplete (0x%04x) for %dx%d pixels", status, size.width,
                    size.height);
    }
}

void QvGLView::updateFrame(const Rect& frame) {
    setFrame(frame);
    if (!ready_ || !GLContext::setCurrentContext(context_.get())) return;
    allocateDrawable();
}

bool QvGLView::makeCurrent() {
    if (!ready_ || !GLContext::setCurrentContext(context_.get())) return false;
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorRenderBuffer_);
    return true;
}

bool QvGLView::acceptPicture(const uint8_t* yuv, size_t length, int width, int height) {
    std::string refusal;
    char buf[160];
    if (!yuv) {
        refusal = "no picture";
    } else if (width < 2 || height < 2 || width > maxTextureSize_ || height > maxTextureSize_) {
        std::snprintf(buf, sizeof buf, "picture size %dx%d cannot be drawn (2 to %d pixels a side)", width, height,
                      maxTextureSize_);
        refusal = buf;
    } else if (length < yuvSize(width, height)) {
        std::snprintf(buf, sizeof buf, "picture of %zu bytes is shorter than %dx%d YUV 4:2:0 (%zu bytes)", length,
                      width, height, yuvSize(width, height));
        refusal = buf;
    }
    if (refusal.empty()) {
        lastRefusal_.clear();
        return true;
    }
    // Once per kind of bad picture, not once per frame.
    if (refusal != lastRefusal_) Log::warn("QvGLView", "%s: not drawn", refusal.c_str());
    lastRefusal_ = refusal;
    return false;
}

void QvGLView::uploadTextures(const uint8_t* yuv, int width, int height) {
    const size_t lumaBytes = static_cast<size_t>(width) * height;
    const size_t chromaBytes = static_cast<size_t>(width / 2) * (height / 2);
    struct Plane {
        const uint8_t* data;
        int width;
        int height;
        GLuint* texture;
        GLint uniform;
    } planes[3] = {
        {yuv, width, height, &samplerYTexture_, samplerYUniform_},
        {yuv + lumaBytes, width / 2, height / 2, &samplerUTexture_, samplerUUniform_},
        {yuv + lumaBytes + chromaBytes, width / 2, height / 2, &samplerVTexture_, samplerVUniform_},
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

void QvGLView::deleteTextures() {
    deleteTexture(samplerYTexture_);
    deleteTexture(samplerUTexture_);
    deleteTexture(samplerVTexture_);
}

bool QvGLView::render(const uint8_t* yuv, size_t length, int width, int height) {
    return draw(yuv, length, width, height, true);
}

bool QvGLView::renderOnFullScreen(const uint8_t* yuv, size_t length, int width, int height) {
    return draw(yuv, length, width, height, false);
}

bool QvGLView::draw(const uint8_t* yuv, size_t length, int width, int height, bool fitted) {
    if (!ready_ || !acceptPicture(yuv, length, width, height) || !makeCurrent()) return false;
    // Without a drawable nothing can be drawn; a pending snapshot waits for
    // a picture that is.
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;

    const Viewport area = drawingArea(frame(), Screen::main().scale(), zoomScale());
    const Viewport vp = fitted ? fittedViewport(area.width, area.height, width, height) : area;

    glClearColor(0, 0, 0, 1);
    glClear(fitted ? GL_COLOR_BUFFER_BIT : GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(vp.x, vp.y, vp.width, vp.height);

    glUseProgram(program_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glVertexAttribPointer(static_cast<GLuint>(positionSlot_), 3, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
    glVertexAttribPointer(static_cast<GLuint>(texCoordSlot_), 2, GL_FLOAT, GL_FALSE, kVertexStride,
                          reinterpret_cast<const void*>(kTexCoordOffset));

    uploadTextures(yuv, width, height);
    // Indices 0 1 2 2 3 0 as a strip: triangles 0-1-2 and 2-3-0 plus two
    // empty ones; as a list: the same two triangles.
    glDrawElements(fitted ? GL_TRIANGLE_STRIP : GL_TRIANGLES, 6, GL_UNSIGNED_BYTE, nullptr);

    std::string snapshotPath;
    bool hasSnapshot = false;
    SnapshotHandler handler;
    {
        std::lock_guard<std::mutex> g(snapshotLock_);
        if (!snapshotRequests_.empty()) {
            snapshotPath = std::move(snapshotRequests_.front());
            snapshotRequests_.pop_front();
            hasSnapshot = true;
            handler = snapshotHandler_;
        }
    }
    const bool written = hasSnapshot && snapshot(snapshotPath);

    context_->presentRenderbuffer();
    if (fitted) deleteTextures();
    if (hasSnapshot && handler) handler(snapshotPath, written);
    return true;
}

void QvGLView::renderClear() {
    if (!makeCurrent()) return;
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    context_->presentRenderbuffer();
    deleteTextures();
}

void QvGLView::takeSnapshot(const std::string& path) {
    std::lock_guard<std::mutex> g(snapshotLock_);
    snapshotRequests_.push_back(path);
}

size_t QvGLView::pendingSnapshotCount() const {
    std::lock_guard<std::mutex> g(snapshotLock_);
    return snapshotRequests_.size();
}

void QvGLView::setSnapshotHandler(SnapshotHandler handler) {
    std::lock_guard<std::mutex> g(snapshotLock_);
    snapshotHandler_ = std::move(handler);
}

bool QvGLView::snapshot(const std::string& path) {
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

}  // namespace lumora
