#include "platform/graphics/GLContext.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

class GLContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!GLContext::available(&why)) GTEST_SKIP() << "OpenGL ES 2 is not available here: " << why;
    }
};

}  // namespace

TEST_F(GLContextTest, PresentsTheFrameBufferUprightToTheLayer) {
    auto context = GLContext::create();
    ASSERT_TRUE(context);
    EXPECT_FALSE(context->isCurrent());
    ASSERT_TRUE(GLContext::setCurrentContext(context.get()));
    EXPECT_EQ(GLContext::currentContext(), context.get());

    auto layer = std::make_shared<EAGLLayer>();
    layer->setBounds(Size{3.5, 2});
    layer->setContentsScale(2.0);  // 7 x 4 pixels
    GLuint rb = 0, fb = 0;
    glGenRenderbuffers(1, &rb);
    glBindRenderbuffer(GL_RENDERBUFFER, rb);
    ASSERT_TRUE(context->renderbufferStorageFromDrawable(layer));
    glGenFramebuffers(1, &fb);
    glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));

    // Bottom row red (GL's row 0), the rest blue.
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 7, 1);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    int handled = 0;
    layer->setPresentHandler([&](const RGBAImage& img) { handled += img.width == 7; });
    ASSERT_TRUE(context->presentRenderbuffer());
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(layer->presentCount(), 1u);
    const RGBAImage img = layer->contents();
    ASSERT_EQ(img.width, 7);
    ASSERT_EQ(img.height, 4);
    EXPECT_EQ(img.pixel(6, 3)[0], 255);  // the last row shown is GL's first
    EXPECT_EQ(img.pixel(6, 3)[2], 0);
    EXPECT_EQ(img.pixel(0, 0)[2], 255);

    // A render buffer with no layer, or an empty drawable, presents nothing.
    layer->setBounds(Size{0, 10});
    EXPECT_FALSE(context->renderbufferStorageFromDrawable(layer));
    EXPECT_FALSE(context->presentRenderbuffer());
    EXPECT_EQ(layer->presentCount(), 1u);

    glDeleteFramebuffers(1, &fb);
    glDeleteRenderbuffers(1, &rb);
    context.reset();  // releases itself when current
    EXPECT_EQ(GLContext::currentContext(), nullptr);
}

TEST(EAGLLayer, DrawableSizeIsBoundsTimesScaleWithinLimits) {
    EAGLLayer layer;
    layer.setBounds(Size{320, 240});
    layer.setContentsScale(2.0);
    EXPECT_EQ(layer.drawableSize().width, 640);
    EXPECT_EQ(layer.drawableSize().height, 480);
    layer.setBounds(Size{-1, 240});
    EXPECT_EQ(layer.drawableSize().width, 0);
    layer.setBounds(Size{1e9, 240});
    EXPECT_EQ(layer.drawableSize().width, 0);
    EXPECT_TRUE(layer.contents().empty());
}
