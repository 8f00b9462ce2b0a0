#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/Config.h"
#include "platform/ConfigFile.h"
#include "support/TempDir.h"

using namespace lumora;

namespace {

std::string joined(const std::vector<std::string>& v) {
    std::string out;
    for (const auto& s : v) out += s + "\n";
    return out;
}

}  // namespace

TEST(ConfigFile, ValuesKeepHashAndSemicolonAndBlanksAroundAreTrimmed) {
    Config cfg;
    auto problems = ConfigFile::parse(
        "# comment\n"
        "  ; another comment\n"
        "\n"
        "relayHost1 = hub#1.example\n"
        "externalAddressUrl=http://ip.example/#frag ; still value\r\n"
        "\tlanLocalPort = 0\n"
        "cellularInterfaces =\n"
        "webPageTimeout = 45.5\n"
        "timeScale = 0.05",
        "c.conf", cfg);
    EXPECT_TRUE(problems.empty()) << joined(problems);
    EXPECT_EQ(cfg.relayHosts[0], "hub#1.example");
    EXPECT_EQ(cfg.externalAddressUrl, "http://ip.example/#frag ; still value");
    EXPECT_EQ(cfg.lanLocalPort, 0);
    EXPECT_EQ(cfg.cellularInterfaces, "");
    EXPECT_EQ(cfg.webPageTimeout, 45.5);
    EXPECT_EQ(cfg.timeScale, 0.05);
}

TEST(ConfigFile, EachBadLineIsNamedWithItsProblemAndNothingIsApplied) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"timeScale = inf\n", "c.conf:1: timeScale must be a number from 0.01 to 100, not \"inf\""},
        // Below this every live view ends before its login reply.
        {"timeScale = 0.001\n", "c.conf:1: timeScale must be a number from 0.01 to 100, not \"0.001\""},
        {"timeScale = 0.005\n", "c.conf:1: timeScale must be a number"},
        {"timeScale = nan\n", "c.conf:1: timeScale must be a number"},
        {"timeScale = 1e10\n", "c.conf:1: timeScale must be a number"},
        {"timeScale = 1e-300\n", "c.conf:1: timeScale must be a number"},
        {"timeScale = -1\n", "c.conf:1: timeScale must be a number"},
        {"timeScale = 0\n", "c.conf:1: timeScale must be a number"},
        {"timeScale = 1x\n", "c.conf:1: timeScale must be a number"},
        {"webPageTimeout = -1\n", "c.conf:1: webPageTimeout must be a number of seconds from 0 to 3600, not \"-1\""},
        {"webPageTimeout = 1e9\n", "c.conf:1: webPageTimeout must be a number of seconds"},
        {"webPageTimeout = nan\n", "c.conf:1: webPageTimeout must be a number of seconds"},
        {"webPageTimeout = 30s\n", "c.conf:1: webPageTimeout must be a number of seconds"},
        {"\n\nrelayTcpPort = 70000\n", "c.conf:3: relayTcpPort must be a port number from 1 to 65535, not \"70000\""},
        {"relayUdpPort = 0\n", "c.conf:1: relayUdpPort must be a port number from 1 to 65535"},
        {"lanPort = -1\n", "c.conf:1: lanPort must be a port number"},
        {"lanLocalPort = 99999999999999999999\n", "c.conf:1: lanLocalPort must be a port number from 0 to 65535"},
        {"lanPort = 12 34\n", "c.conf:1: lanPort must be a port number"},
        {"# x\nnoSuchKey = 1\n", "c.conf:2: unknown key \"noSuchKey\""},
        {"noequals\n", "c.conf:1: expected \"key = value\""},
        {" = 3\n", "c.conf:1: no key before \"=\""},
        {"[server]\n", "c.conf:1: sections are not used in this file"},
        {"pushHost = a\npushHost = b\n", "c.conf:2: \"pushHost\" is given a second time"},
        {"pushHost =\n", "c.conf:1: pushHost needs a value"},
        {"audioBackend = jack\n", "c.conf:1: audioBackend must be pulse, alsa or null"},
        {"lanGroup = 999.1.1.1\n", "c.conf:1: lanGroup must be an IPv4 address such as 235.10.10.10, not \"999.1.1.1\""},
        {"lanGroup = 235.10.10\n", "c.conf:1: lanGroup must be an IPv4 address"},
        {"lanGroup = lan.example\n", "c.conf:1: lanGroup must be an IPv4 address"},
        {"lanGroup = 0.0.0.0\n", "c.conf:1: lanGroup must be an IPv4 address"},
        {"reachabilityHost = www.example .com\n",
         "c.conf:1: reachabilityHost must be a host name without blanks or control characters, not \"www.example .com\""},
        {"reachabilityHost = www.\x01example.com\n", "c.conf:1: reachabilityHost must be a host name without blanks"},
        {"reachabilityHost = www\texample.com\n", "c.conf:1: reachabilityHost must be a host name without blanks"},
        {"relayHost3 = hub 3.example\n", "c.conf:1: relayHost3 must be a host name without blanks"},
        {"pushHost = push.example\x7f\n", "c.conf:1: pushHost must be a host name without blanks"},
        {"# art\n\nresourceDir = /nonexistent/lumora-resources\n",
         "c.conf:3: resourceDir must name an existing folder, not \"/nonexistent/lumora-resources\""},
        {"resourceDir = " LUMORA_TEST_DATA_DIR "/clip.h264\n", "c.conf:1: resourceDir must name an existing folder"},
    };
    for (const auto& c : cases) {
        Config cfg;
        auto problems = ConfigFile::parse(c.text, "c.conf", cfg);
        ASSERT_EQ(problems.size(), 1u) << c.text << joined(problems);
        EXPECT_EQ(problems[0].rfind(c.message, 0), 0u) << problems[0];
    }
    // Good lines before a bad one are not applied either.
    Config cfg;
    auto problems = ConfigFile::parse("relayTcpPort = 40000\ntimeScale = 0.01\nbogus = 1\nlanPort = 0\n", "c.conf", cfg);
    EXPECT_EQ(problems.size(), 2u) << joined(problems);
    EXPECT_EQ(cfg.relayTcpPort, 28622);
    EXPECT_EQ(cfg.timeScale, 1.0);
}

TEST(ConfigFile, CheckedValuesThatAreFineAreTaken) {
    test::TempDir dir;
    Config cfg;
    auto problems = ConfigFile::parse("lanGroup = 127.0.0.15\nresourceDir = " + dir.path() +
                                          "\nreachabilityHost = 127.0.0.1:8080\ntimeScale = 0.01\n",
                                      "c.conf", cfg);
    EXPECT_TRUE(problems.empty()) << joined(problems);
    EXPECT_EQ(cfg.lanGroup, "127.0.0.15");
    EXPECT_EQ(cfg.resourceDir, dir.path());
    EXPECT_EQ(cfg.reachabilityHost, "127.0.0.1:8080");
    EXPECT_EQ(cfg.timeScale, 0.01);
}

TEST(ConfigFile, HostileLinesAreRefusedNotCut) {
    Config cfg;
    std::string longLine = "pushHost = " + std::string(ConfigFile::kMaxLine, 'a') + "\n";
    auto problems = ConfigFile::parse(longLine + std::string("pushHost = a\0b\n", 15), "c.conf", cfg);
    ASSERT_EQ(problems.size(), 2u) << joined(problems);
    EXPECT_EQ(problems[0], "c.conf:1: line longer than 4096 bytes");
    EXPECT_EQ(problems[1], "c.conf:2: line holds a NUL byte");
    EXPECT_EQ(cfg.pushHost, Config().pushHost);
}

TEST(ConfigFile, AFolderOrAMissingFileIsRefusedByName) {
    test::TempDir dir;
    Config cfg;
    auto folder = ConfigFile::load(dir.path(), cfg);
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_EQ(folder[0], dir.path() + ": is a folder, not a configuration file");
    auto missing = ConfigFile::load(dir.file("none.conf"), cfg);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].rfind(dir.file("none.conf") + ": cannot be read: ", 0), 0u) << missing[0];
}

TEST(ConfigFile, LoadFilePrintsFileLineAndProblemOnStandardError) {
    test::TempDir dir;
    {
        std::ofstream f(dir.file("bad.conf"));
        f << "relayHost1 = 127.0.0.1\ntimeScale = -0.5\n";
    }
    Config cfg;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cfg.loadFile(dir.file("bad.conf")));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(dir.file("bad.conf") + ":2: timeScale must be a number"), std::string::npos) << err;
    EXPECT_EQ(cfg.relayHosts[0], Config().relayHosts[0]);
}
