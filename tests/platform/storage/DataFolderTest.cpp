#include "platform/storage/DataFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "support/TempDir.h"

using namespace lumora;

TEST(DataFolder, AMissingFolderIsMadePrivateWithItsParents) {
    test::TempDir dir;
    const std::string root = dir.file("a/b/lumora");
    std::string problem;
    ASSERT_TRUE(DataFolder::prepare(root, problem)) << problem;
    for (const std::string& p : {dir.file("a"), dir.file("a/b"), root}) {
        struct stat st{};
        ASSERT_EQ(::stat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    // An existing folder is taken as it is, and nothing is left in it.
    ASSERT_TRUE(DataFolder::prepare(root + "/", problem)) << problem;
    struct stat st{};
    EXPECT_EQ(::stat(root.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
}

TEST(DataFolder, FoldersThatCannotBeUsedAreNamedWithTheReason) {
    test::TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    struct Case {
        std::string path;
        const char* reason;
    } cases[] = {
        {"/proc/lumora-cannot-be-made", "cannot be made"},
        {"/proc/self", "no new file can be made in it"},
        {dir.file("file"), "it is not a folder"},
        {dir.file("file/below"), "Not a directory"},
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_FALSE(DataFolder::prepare(c.path, problem)) << c.path;
        EXPECT_EQ(problem.rfind("the data folder " + c.path + " cannot be used: ", 0), 0u) << problem;
        EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
    }
    std::string problem;
    EXPECT_FALSE(DataFolder::prepare("", problem));
    EXPECT_NE(problem.find("LUMORA_DATA_ROOT"), std::string::npos);
}
