#include "platform/graphics/GLContext.h"
#include "platform/Log.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace lumora {

namespace {

struct Display {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    bool surfaceless = false;  // EGL_KHR_surfaceless_context
    std::string error;         // empty when usable
};

bool hasWord(const char* list, const char* word) {
    if (!list) return false;
    const size_t n = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += n) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[n] == '\0' || p[n] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

std::string eglErrorText(const char* what) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s failed (EGL error 0x%04x)", what, static_cast<unsigned>(eglGetError()));
    return buf;
}

EGLDisplay openSurfacelessDisplay() {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasWord(clientExtensions, "EGL_MESA_platform_surfaceless")) return EGL_NO_DISPLAY;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

Display openDisplay() {
    Display d;
    EGLint major = 0, minor = 0;
    d.display = openSurfacelessDisplay();
    if (d.display != EGL_NO_DISPLAY && !eglInitialize(d.display, &major, &minor)) d.display = EGL_NO_DISPLAY;
    if (d.display == EGL_NO_DISPLAY) {
        d.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (d.display == EGL_NO_DISPLAY) {
            d.error = "no EGL display";
            return d;
        }
        if (!eglInitialize(d.display, &major, &minor)) {
            d.error = eglErrorText("eglInitialize");
            d.display = EGL_NO_DISPLAY;
            return d;
        }
    }
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        d.error = eglErrorText("eglBindAPI(OpenGL ES)");
        return d;
    }
    d.surfaceless = hasWord(eglQueryString(d.display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");

    const EGLint withPbuffer[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                  EGL_NONE};
    const EGLint anySurface[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(d.display, withPbuffer, &d.config, 1, &count) || count < 1) {
        count = 0;
        if (!d.surfaceless || !eglChooseConfig(d.display, anySurface, &d.config, 1, &count) || count < 1) {
            d.error = "no EGL configuration for OpenGL ES 2";
            return d;
        }
    }
    return d;
}

Display& display() {
    static Display d = openDisplay();
    return d;
}

thread_local GLContext* tCurrent = nullptr;

// Forgets errors left by earlier calls, so the next glGetError speaks of
// what follows.
void drainGLErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

}  // namespace

std::unique_ptr<GLContext> GLContext::create() {
    Display& d = display();
    if (!d.error.empty()) {
        Log::warn("GLContext", "%s", d.error.c_str());
        return nullptr;
    }
    std::unique_ptr<GLContext> c(new GLContext());
    const EGLint attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = eglCreateContext(d.display, d.config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        Log::warn("GLContext", "%s", eglErrorText("eglCreateContext").c_str());
        return nullptr;
    }
    c->context_ = context;
    if (!d.surfaceless) {
        const EGLint pbuffer[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        EGLSurface surface = eglCreatePbufferSurface(d.display, d.config, pbuffer);
        if (surface == EGL_NO_SURFACE) {
            Log::warn("GLContext", "%s", eglErrorText("eglCreatePbufferSurface").c_str());
            return nullptr;  // the destructor releases the context
        }
        c->surface_ = surface;
    }
    return c;
}

bool GLContext::available(std::string* reason) {
    static const std::string failure = [] {
        std::unique_ptr<GLContext> probe = create();
        if (!probe) {
            const std::string& e = display().error;
            return e.empty() ? std::string("no OpenGL ES 2 context") : e;
        }
        GLContext* previous = currentContext();
        if (!setCurrentContext(probe.get())) return std::string("the OpenGL ES 2 context cannot be made current");
        setCurrentContext(previous);
        return std::string();
    }();
    if (reason) *reason = failure;
    return failure.empty();
}

GLContext::~GLContext() {
    Display& d = display();
    if (isCurrent()) setCurrentContext(nullptr);
    if (surface_) eglDestroySurface(d.display, static_cast<EGLSurface>(surface_));
    if (context_) eglDestroyContext(d.display, static_cast<EGLContext>(context_));
}

bool GLContext::setCurrentContext(GLContext* context) {
    Display& d = display();
    if (!context) {
        tCurrent = nullptr;
        if (d.display == EGL_NO_DISPLAY) return true;
        return eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
    }
    if (context->isCurrent()) return true;
    EGLSurface surface = context->surface_ ? static_cast<EGLSurface>(context->surface_) : EGL_NO_SURFACE;
    if (!eglMakeCurrent(d.display, surface, surface, static_cast<EGLContext>(context->context_))) {
        Log::warn("GLContext", "%s", eglErrorText("eglMakeCurrent").c_str());
        return false;
    }
    tCurrent = context;
    return true;
}

GLContext* GLContext::currentContext() {
    if (tCurrent && eglGetCurrentContext() != static_cast<EGLContext>(tCurrent->context_)) tCurrent = nullptr;
    return tCurrent;
}

bool GLContext::isCurrent() const { return context_ && currentContext() == this; }

bool GLContext::hasExtension(const char* name) const {
    if (!extensionsRead_ && isCurrent()) {
        const GLubyte* list = glGetString(GL_EXTENSIONS);
        extensions_ = list ? reinterpret_cast<const char*>(list) : "";
        extensionsRead_ = true;
    }
    return hasWord(extensions_.c_str(), name);
}

bool GLContext::renderbufferStorageFromDrawable(const std::shared_ptr<EAGLLayer>& layer) {
    if (!layer || !isCurrent()) return false;
    GLint renderbuffer = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &renderbuffer);
    if (renderbuffer == 0) return false;

    EAGLLayer::PixelSize size = layer->drawableSize();
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSide);
    const bool fits = size.width > 0 && size.height > 0 && size.width <= maxSide && size.height <= maxSide;
    if (!fits) size = {};
    const GLenum format = hasExtension("GL_OES_rgb8_rgba8") ? GL_RGBA8_OES : GL_RGBA4;
    drainGLErrors();
    glRenderbufferStorage(GL_RENDERBUFFER, format, size.width, size.height);
    drawables_[static_cast<unsigned>(renderbuffer)] = layer;
    return fits && glGetError() == GL_NO_ERROR;
}

bool GLContext::presentRenderbuffer() {
    if (!isCurrent()) return false;
    GLint renderbuffer = 0, framebuffer = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &renderbuffer);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    if (renderbuffer == 0 || framebuffer == 0) return false;
    auto it = drawables_.find(static_cast<unsigned>(renderbuffer));
    if (it == drawables_.end()) return false;
    std::shared_ptr<EAGLLayer> layer = it->second.lock();
    if (!layer) return false;

    GLint attached = 0, type = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type == GL_RENDERBUFFER)
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
    if (attached != renderbuffer || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;

    GLint width = 0, height = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &height);
    if (width <= 0 || height <= 0) return false;

    RGBAImage image;
    image.width = width;
    image.height = height;
    const size_t rowBytes = image.rowBytes();
    std::vector<uint8_t> bottomUp(rowBytes * static_cast<size_t>(height));
    drainGLErrors();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);  // RGBA rows are always whole words
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    if (glGetError() != GL_NO_ERROR) return false;
    // GL's first row is the bottom one; the layer's contents are upright.
    image.pixels.resize(bottomUp.size());
    for (int y = 0; y < height; ++y)
        std::memcpy(image.pixels.data() + static_cast<size_t>(y) * rowBytes,
                    bottomUp.data() + static_cast<size_t>(height - 1 - y) * rowBytes, rowBytes);
    layer->present(std::move(image));
    return true;
}

}  // namespace lumora
