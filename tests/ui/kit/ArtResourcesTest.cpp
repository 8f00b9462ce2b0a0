#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "platform/Config.h"
#include "support/TempDir.h"
#include "ui/kit/ArtResources.h"

using namespace lumora;

namespace {

class ArtResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = Config::shared().resourceDir; }
    void TearDown() override { Config::shared().resourceDir = saved_; }
    std::string saved_;
};

}  // namespace

TEST_F(ArtResourcesTest, BuildTreeImagesWhenTheResourcesHaveNone) {
    Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
    EXPECT_EQ(ArtResources::imagesDirectory(), LUMORA_IMAGE_DIR);
    const std::string dir = LUMORA_IMAGE_DIR;
    const struct {
        const char* name;
        int scale;
        std::string expected;
    } cases[] = {
        {"check.png", 1, dir + "/check.png"},
        {"check", 1, dir + "/check.png"},
        {"check.png", 2, dir + "/check@2x.png"},
        {"photoseg_clk", 2, dir + "/photoseg_clk@2x.png"},
        {"check@2x.png", 1, dir + "/check@2x.png"},
        {"check@2x", 2, dir + "/check@2x.png"},
        {"no_such_picture.png", 1, ""},
        {"no_such_picture", 2, ""},
        {"", 1, ""},
        {".png", 1, ""},
        {"..", 1, ""},
        {"../images/check.png", 1, ""},
        {"/etc/passwd", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " x" + std::to_string(c.scale));
        EXPECT_EQ(ArtResources::imagePath(c.name, c.scale), c.expected);
    }
}

TEST_F(ArtResourcesTest, InstalledImagesFolderWinsAndOneTimesServesWhenTwoTimesIsMissing) {
    test::TempDir resources;
    const std::string images = resources.file("images");
    ASSERT_EQ(::mkdir(images.c_str(), 0700), 0);
    std::ofstream(images + "/only.png") << "x";
    Config::shared().resourceDir = resources.path();
    EXPECT_EQ(ArtResources::imagesDirectory(), images);
    EXPECT_EQ(ArtResources::imagePath("only.png", 2), images + "/only.png");
    EXPECT_EQ(ArtResources::imagePath("check.png", 1), "");
}
