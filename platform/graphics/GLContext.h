#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/graphics/EAGLLayer.h"

namespace lumora {

// An OpenGL ES 2 rendering context (EGL, no window system needed).
//
// Like its mobile counterpart, a context is made current on the calling
// thread, and a render buffer gets its storage from a layer: it is sized to
// the layer's drawable (bounds x contents scale) and, when presented, its
// picture becomes the layer's contents. Drawing happens into a frame buffer
// object the caller makes; there is no default frame buffer to draw into.
//
// The EGL display is opened once per process: Mesa's surfaceless platform
// when the EGL library offers it (no X, Wayland or GPU needed: llvmpipe
// renders), the default display otherwise. It stays open for the life of the
// process.
//
// A context may be current on one thread at a time. Its GL objects are its
// own (contexts share nothing).
class GLContext {
public:
    // A new OpenGL ES 2 context, not current. Null when EGL or an ES 2
    // context cannot be had; the reason is printed.
    static std::unique_ptr<GLContext> create();

    // Whether contexts can be made on this machine (tried once, remembered).
    // `reason` receives the failure's description.
    static bool available(std::string* reason = nullptr);

    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    // Makes `context` current on the calling thread; null releases the
    // thread's current context. False when EGL refuses.
    static bool setCurrentContext(GLContext* context);
    // The context current on the calling thread, if it is one of these.
    static GLContext* currentContext();
    bool isCurrent() const;

    // For the render buffer bound to GL_RENDERBUFFER in this (current)
    // context: allocates colour storage of the layer's drawable size and ties
    // the render buffer to the layer. False when no render buffer is bound,
    // this context is not current or the drawable is empty or too large (the
    // storage is then 0 x 0, so a frame buffer using it is incomplete).
    bool renderbufferStorageFromDrawable(const std::shared_ptr<EAGLLayer>& layer);

    // Presents the render buffer bound to GL_RENDERBUFFER: reads the bound,
    // complete frame buffer (whose colour attachment 0 must be that render
    // buffer) and hands the picture, rows upright, to the render buffer's
    // layer. False when nothing could be presented.
    bool presentRenderbuffer();

    // Whether this context's GL knows the named extension.
    bool hasExtension(const char* name) const;

private:
    GLContext() = default;

    void* context_ = nullptr;  // EGLContext
    void* surface_ = nullptr;  // EGLSurface: a 1x1 pbuffer where surfaceless contexts are not offered
    mutable std::string extensions_;
    mutable bool extensionsRead_ = false;
    std::map<unsigned, std::weak_ptr<EAGLLayer>> drawables_;  // render buffer name -> layer
};

}  // namespace lumora
