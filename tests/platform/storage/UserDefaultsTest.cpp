#include "platform/storage/UserDefaults.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/storage/AtomicFile.h"
#include "support/HostileStores.h"
#include "support/TempDir.h"

namespace lumora {
namespace {

TEST(UserDefaults, ValuesPersistAcrossInstances) {
    test::TempDir dir;
    std::string path = dir.file("Preferences/UserDefaults.plist");  // folder made on first write
    {
        UserDefaults d(path);
        EXPECT_FALSE(d.boolForKey("firstStart1"));
        EXPECT_FALSE(d.stringForKey("appversion").has_value());
        EXPECT_TRUE(d.setBool("firstStart1", true));
        EXPECT_TRUE(d.setString("appversion", "1.0"));
        EXPECT_TRUE(d.setInteger("launches", -7));
        EXPECT_TRUE(d.setStringArray("list", {"a", "", "c"}));
        EXPECT_TRUE(d.setString("gone", "x"));
        EXPECT_TRUE(d.removeObjectForKey("gone"));
    }
    UserDefaults d(path);
    EXPECT_TRUE(d.boolForKey("firstStart1"));
    EXPECT_EQ(d.stringForKey("appversion"), "1.0");
    EXPECT_EQ(d.integerForKey("launches"), -7);
    EXPECT_TRUE(d.boolForKey("launches"));
    EXPECT_EQ(d.stringArrayForKey("list"), (std::vector<std::string>{"a", "", "c"}));
    EXPECT_FALSE(d.hasKey("gone"));
    // A value of another kind reads as missing.
    EXPECT_FALSE(d.stringForKey("launches").has_value());
    EXPECT_TRUE(d.stringArrayForKey("appversion").empty());
}

TEST(UserDefaults, UnreadableStoreStartsEmptyAndIsReplacedOnWrite) {
    test::TempDir dir;
    std::string path = dir.file("defaults.plist");
    std::ofstream(path) << "garbage";
    UserDefaults d(path);
    EXPECT_FALSE(d.hasKey("firstStart1"));
    EXPECT_TRUE(d.setBool("firstStart1", true));
    EXPECT_TRUE(UserDefaults(path).boolForKey("firstStart1"));
}

TEST(UserDefaults, HostileStoreIsKeptAsideAndStartsEmpty) {
    test::TempDir dir;
    std::string path = dir.file("defaults.plist");
    for (const char* name : {"deep.plist", "nul-key.plist"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + name, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::ofstream(path, std::ios::binary) << bytes;
        UserDefaults d(path);
        EXPECT_FALSE(d.hasKey("name"));
        std::ifstream aside(path + ".bad", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()), bytes);
        EXPECT_TRUE(d.setBool("firstStart1", true));
        EXPECT_TRUE(UserDefaults(path).boolForKey("firstStart1"));
    }
}

// Run in a child: the file crashed every start inside libplist.
TEST(UserDefaults, NestingHiddenInAttributesIsKeptAsideWithoutACrash) {
    GTEST_FLAG_SET(death_test_style, "fast");
    test::TempDir dir;
    const std::string path = dir.file("defaults.plist");
    const std::string bytes = test::quotedAttributeNesting();
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_EXIT(
        {
            UserDefaults d(path);
            _exit(d.hasKey("a") ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    std::ifstream aside(path + ".bad", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()), bytes);
    EXPECT_FALSE(std::ifstream(path).good());
}

TEST(UserDefaults, CopiesLeftByInterruptedSavesAreRemovedOnLoading) {
    GTEST_FLAG_SET(death_test_style, "fast");
    test::TempDir dir;
    const std::string path = dir.file("defaults.plist");
    ASSERT_TRUE(UserDefaults(path).setString("account", "old"));
    EXPECT_EXIT(
        {
            UserDefaults d(path);
            AtomicFile::setBeforeRenameHookForTesting([](const std::string&) -> bool { _exit(9); });
            d.setString("account", "new");
        },
        ::testing::ExitedWithCode(9), "");
    auto copies = [&] {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            n += e.path().filename().string().rfind(".defaults.plist.", 0) == 0;
        return n;
    };
    ASSERT_EQ(copies(), 1);
    UserDefaults d(path);
    EXPECT_EQ(d.stringForKey("account"), "old");
    EXPECT_EQ(copies(), 0);
}

TEST(UserDefaults, PreferredLanguagesFromTheLocale) {
    struct Case {
        const char* locale;
        const char* language;
    } cases[] = {
        {"zh_CN.UTF-8", "zh-Hans"}, {"zh_SG", "zh-Hans"}, {"zh_TW.UTF-8", "zh-TW"}, {"zh_HK.Big5", "zh-HK"},
        {"de_DE@euro", "de-DE"},    {"fr", "fr"},         {"C", "en"},              {"POSIX", "en"},
        {"", "en"},                 {"C.UTF-8", "en"},
    };
    for (const auto& c : cases) EXPECT_EQ(UserDefaults::languageForLocale(c.locale), c.language) << c.locale;

    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANGUAGE");
    ::setenv("LANG", "zh_TW.UTF-8", 1);
    UserDefaults memory("");
    EXPECT_EQ(memory.stringArrayForKey(UserDefaults::kAppleLanguages), std::vector<std::string>{"zh-TW"});
    ::setenv("LC_ALL", "zh_CN.UTF-8", 1);  // wins over LANG
    EXPECT_EQ(memory.stringArrayForKey(UserDefaults::kAppleLanguages).front(), "zh-Hans");
    ::setenv("LANGUAGE", "fr_FR:en", 1);  // a priority list wins when a locale is set
    EXPECT_EQ(memory.stringArrayForKey(UserDefaults::kAppleLanguages), (std::vector<std::string>{"fr-FR", "en"}));
    // A stored list wins over the environment.
    memory.setStringArray(UserDefaults::kAppleLanguages, {"zh-Hans"});
    EXPECT_EQ(memory.stringArrayForKey(UserDefaults::kAppleLanguages).front(), "zh-Hans");
}

}  // namespace
}  // namespace lumora
