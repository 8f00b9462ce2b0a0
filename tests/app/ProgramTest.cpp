// The lumora program and the emulator programs as a user starts them: exit
// statuses, messages on standard error, and what ending the program keeps.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

using namespace lumora::test;
using namespace std::chrono_literals;

namespace {

const std::string kLumora = LUMORA_PROGRAM;
const std::string kRelay = std::string(LUMORA_TOOLS_DIR) + "/relay-emulator/relay-emulator";
const std::string kDevemu = std::string(LUMORA_TOOLS_DIR) + "/device-emulator/lumora-devemu";

int modeOf(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return int(st.st_mode & 07777);
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    ChildProcess p(program, args, env);
    int status = p.wait(30s);
    return {status, p.out, p.err};
}

}  // namespace

TEST(Program, CommandLinesCheckTheirWordsAndAnswerHelpAndVersion) {
    struct Case {
        const std::string* program;
        std::vector<std::string> args;
        int status;
        const char* err;  // expected on standard error (status 2) or standard output (status 0)
    } cases[] = {
        {&kLumora, {"--help"}, 0, "Usage: lumora"},
        {&kLumora, {"--version"}, 0, "lumora "},
        {&kLumora, {"--pad", "--run-on"}, 2, "lumora: --pad only goes with --app or the window"},
        {&kLumora, {"--live", "--app"}, 2, "--live and --app are two different modes"},
        {&kLumora, {"--app", "--screenshot", "shot.png"}, 2, "are for the window"},
        {&kLumora, {"--live", "--tall"}, 2, "are for the window"},
        {&kLumora, {"--tall", "--pad"}, 2, "--tall is a phone size"},
        {&kLumora, {"--scale", "3"}, 2, "--scale wants 1 or 2"},
        {&kLumora, {"--after", "-1", "--screenshot", "s.png"}, 2, "--after wants seconds"},
        {&kLumora, {"--tap", "5", "--screenshot", "s.png"}, 2, "--tap wants X,Y"},
        {&kLumora, {"--tap", "1,2"}, 2, "--after and --tap go with --screenshot"},
        {&kLumora, {"--screenshot"}, 2, "--screenshot needs a value"},
        {&kLumora, {"--app", "--udt"}, 2, "lumora: --udt is for the live video demonstration, not with --app"},
        {&kLumora, {"--app", "--run-on"}, 2, "not with --app"},
        {&kLumora, {"--verbose", "--quiet"}, 2, "contradict"},
        {&kLumora, {"--frobnicate"}, 2, "lumora: unknown option --frobnicate"},
        {&kLumora, {"extra"}, 2, "lumora: unexpected argument \"extra\""},
        {&kRelay, {"--help"}, 0, "Usage: relay-emulator"},
        {&kRelay, {"--version"}, 0, "relay-emulator "},
        {&kRelay, {"--port", "70000"}, 2, "--port wants 0 to 65535"},
        {&kRelay, {"--seconds", "ten"}, 2, "--seconds wants 1 to 86400"},
        {&kRelay, {"--port"}, 2, "--port needs a value"},
        {&kRelay, {"--device", "a,b,c,99999"}, 2, "--device wants UID,EXTADDR,INNERADDR,INNERPORT"},
        {&kRelay, {"--known", "a,1,127.0.0.1,80"}, 2, "--known needs --tcp-port"},
        {&kDevemu, {"--help"}, 0, "Usage: lumora-devemu"},
        {&kDevemu, {"--version"}, 0, "lumora-devemu "},
        {&kDevemu, {"--fps", "0"}, 2, "--fps wants a whole number from 1 to 255"},
        {&kDevemu, {"--listen", "127.0.0.1:65536"}, 2, "--listen wants HOST:PORT"},
        {&kDevemu, {"stray"}, 2, "unexpected argument \"stray\""},
    };
    for (const auto& c : cases) {
        Outcome r = run(*c.program, c.args, {"LUMORA_CONFIG="});
        std::string where = *c.program + " " + (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(r.status, c.status) << where << "\n" << r.err;
        EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.err), std::string::npos) << where << "\n" << r.out << r.err;
    }
}

TEST(Program, ABadLogLevelIsRefused) {
    Outcome r = run(kLumora, {"--version"}, {"LUMORA_LOG=loud"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("LUMORA_LOG must be"), std::string::npos) << r.err;
}

TEST(Program, AConfigurationErrorNamesFileAndLineAndStops) {
    TempDir dir;
    const std::string conf = dir.file("lumora.conf");
    std::ofstream(conf) << "# test\nrelayHost1 = 127.0.0.1\ntimeScale = -1\nrelayTcpPort = 70000\n";
    Outcome r = run(kLumora, {"--app"}, {"LUMORA_CONFIG=" + conf, "LUMORA_DATA_ROOT=" + dir.file("data")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(conf + ":3: timeScale must be a number"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(conf + ":4: relayTcpPort must be a port number"), std::string::npos) << r.err;
    EXPECT_EQ(modeOf(dir.file("data")), -1);  // stopped before touching anything

    Outcome folder = run(kLumora, {"--app"}, {"LUMORA_CONFIG=" + dir.path(), "LUMORA_DATA_ROOT=" + dir.file("data")});
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find(dir.path() + ": is a folder, not a configuration file"), std::string::npos) << folder.err;
}

TEST(Program, AnUnusableDataFolderIsNamedAndStops) {
    TempDir dir;
    std::ofstream(dir.file("plain-file")) << "x";
    const std::string cases[] = {"/proc/lumora-cannot-be-made", "/proc/self", dir.file("plain-file"),
                                 dir.file("plain-file") + "/below"};
    for (const auto& root : cases) {
        Outcome r = run(kLumora, {"--app"}, {"LUMORA_CONFIG=", "LUMORA_DATA_ROOT=" + root});
        EXPECT_EQ(r.status, 1) << root;
        EXPECT_NE(r.err.find("the data folder " + root + " cannot be used"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("device(s)"), std::string::npos);
    }
}

// Ending the application by a signal takes its terminate path: preferences
// and device list are saved, private to the user.
TEST(Program, EndingTheApplicationSavesPreferencesAndDeviceList) {
    for (int sig : {SIGINT, SIGTERM}) {
        TempDir dir;
        const std::string conf = dir.file("lumora.conf");
        std::ofstream(conf) << "externalAddressUrl = http://127.0.0.1:1/\nreachabilityHost = 127.0.0.1\n"
                               "audioBackend = null\n";
        const std::string root = dir.file("data/lumora");
        ChildProcess p(kLumora, {"--app"}, {"LUMORA_CONFIG=" + conf, "LUMORA_DATA_ROOT=" + root});
        ASSERT_TRUE(p.waitForOutput("data root", 30s)) << p.out << p.err;
        p.signal(sig);
        EXPECT_EQ(p.wait(30s), 0) << p.err;
        EXPECT_EQ(modeOf(root), 0700);
        EXPECT_EQ(modeOf(root + "/Configuration"), 0700);
        EXPECT_EQ(modeOf(root + "/Configuration/devices.plist"), 0600) << p.err;
        EXPECT_EQ(modeOf(root + "/Configuration/configuration.plist"), 0600) << p.err;
    }
}
