#include <gtest/gtest.h>

#include "platform/graphics/Screen.h"

using namespace lumora;

TEST(Screen, DefaultsToPlainDesktopAndTakesTestValues) {
    Screen& s = Screen::main();
    EXPECT_EQ(s.scale(), 1.0);
    EXPECT_EQ(s.currentModeSize(), (Screen::Size{1920, 1080}));
    s.setScale(2.0);
    s.setCurrentModeSize({640, 960});
    EXPECT_EQ(s.scale(), 2.0);
    EXPECT_EQ(s.currentModeSize(), (Screen::Size{640, 960}));
    s.reset();
    EXPECT_EQ(s.currentModeSize(), Screen::kDefaultModeSize);
}
