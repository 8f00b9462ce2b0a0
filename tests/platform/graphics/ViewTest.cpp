#include "platform/graphics/View.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/graphics/Screen.h"

using namespace lumora;

TEST(View, ZoomEnlargesTheFrameAndKeepsTheBounds) {
    Screen::main().setScale(2.0);
    View v(Rect{10, 20, 320, 240});
    Screen::main().reset();
    EXPECT_EQ(v.contentScaleFactor(), 2.0);
    EXPECT_EQ(v.bounds().width, 320);
    EXPECT_EQ(v.frame().x, 10);

    v.setTransformScale(2.0);  // around the centre (170, 140)
    const Rect f = v.frame();
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    EXPECT_EQ(f.x, -150);
    EXPECT_EQ(v.bounds().width, 320);

    // A frame set while zoomed is the zoomed size: the bounds stay unzoomed.
    v.setFrame(Rect{0, 0, 400, 300});
    EXPECT_EQ(v.bounds().width, 200);
    EXPECT_EQ(v.frame().width, 400);

    for (double bad : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
        v.setTransformScale(bad);
        EXPECT_EQ(v.transformScale(), 1.0);
        v.setContentScaleFactor(bad);
        EXPECT_EQ(v.contentScaleFactor(), 1.0);
    }
}
