#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/Config.h"
#include "support/TempDir.h"

namespace lumora::test {

// Pins the time zone to UTC and points the data root at a fresh temporary
// folder for the test's lifetime.
class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        Config::shared().dataRoot = dir.path();
    }
    void TearDown() override { Config::shared().dataRoot.clear(); }

    TempDir dir;
};

}  // namespace lumora::test
