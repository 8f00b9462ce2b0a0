// The lumora program and the emulator programs as a user starts them: exit
// statuses, messages on standard error, and what ending the program keeps.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
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
        {&kLumora, {"--data-root", "/tmp/x"}, 2, "--data-root goes with --demo"},
        {&kLumora, {"--live", "--demo"}, 2, "are for the window"},
        {&kLumora, {"--demo", "--data-root"}, 2, "--data-root needs a value"},
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

namespace {

// The environment of a window run without a display: offscreen, no audio,
// the program's temporary folders under `tmp`.
std::vector<std::string> offscreen(const std::string& conf, const std::string& tmp,
                                   const std::string& resources = "") {
    const std::string runtime = tmp + "-runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    return {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=offscreen", "LUMORA_CONFIG=" + conf,
            "LUMORA_RESOURCES=" + resources, "TMPDIR=" + tmp, "XDG_RUNTIME_DIR=" + runtime};
}

std::string quietConfig(TempDir& dir) {
    const std::string conf = dir.file("lumora.conf");
    std::ofstream(conf) << "audioBackend = null\n";
    return conf;
}

// The folders named "lumora-demo-*" in `folder`.
std::vector<std::string> demoRoots(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().filename().string().rfind("lumora-demo-", 0) == 0) out.push_back(e.path().string());
    return out;
}

// The seconds of "live view ended after N s".
double endedAfter(const std::string& out) {
    const std::string mark = "live view ended after ";
    size_t at = out.find(mark);
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + mark.size());
}

}  // namespace

// What "cmake --install" puts under a prefix runs from there: the programs
// find their resources beside their folder. Without them every program names
// the file and the folders it searched (LUMORA_RESOURCES first), the live
// summary counts only the time that passed, and the window's demo stops
// before opening and leaves no data root behind.
TEST(Program, AnInstalledProgramFindsItsResourcesOrNamesWhereItLooked) {
    TempDir dir;
    const std::string prefix = dir.file("prefix");
    Outcome install = run(LUMORA_CMAKE, {"--install", LUMORA_BINARY_DIR, "--prefix", prefix, "--strip"});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* file : {"bin/lumora", "bin/lumora-devemu", "bin/relay-emulator", "share/lumora/clip.h264",
                             "share/lumora/en.lproj/Localization.strings"})
        EXPECT_TRUE(std::filesystem::exists(prefix + "/" + file)) << file;

    const std::string conf = dir.file("lumora.conf");
    std::ofstream(conf) << "audioBackend = null\ntimeScale = 0.2\n";
    Outcome live = run(prefix + "/bin/lumora", {"--live"},
                       {"LUMORA_CONFIG=" + conf, "LUMORA_RESOURCES=", "LUMORA_DATA_ROOT=" + dir.file("data")});
    EXPECT_EQ(live.status, 0) << live.out << live.err;
    EXPECT_NE(live.out.find("decoded pictures"), std::string::npos) << live.out;

    std::filesystem::remove_all(prefix + "/share/lumora");
    const std::string beside = prefix + "/bin/share/lumora, " + prefix + "/share/lumora";
    const std::string empty = dir.file("no-resources");
    std::filesystem::create_directories(empty);
    struct Case {
        std::string resources;  // LUMORA_RESOURCES
        std::string searched;
    } cases[] = {{"", beside}, {empty, empty + " (LUMORA_RESOURCES), " + beside}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resources);
        const std::string named = "cannot find clip.h264 in " + c.searched;
        const auto before = std::chrono::steady_clock::now();
        Outcome missing = run(prefix + "/bin/lumora", {"--live"},
                              {"LUMORA_CONFIG=" + conf, "LUMORA_RESOURCES=" + c.resources,
                               "LUMORA_DATA_ROOT=" + dir.file("data")});
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        EXPECT_EQ(missing.status, 1);
        EXPECT_NE(missing.err.find(named), std::string::npos) << missing.err;
        EXPECT_NE(missing.err.find("set LUMORA_RESOURCES"), std::string::npos) << missing.err;
        const double said = endedAfter(missing.out);
        EXPECT_GE(said, 0.0) << missing.out;
        EXPECT_LE(said, took + 0.1) << missing.out;

        Outcome devemu = run(prefix + "/bin/lumora-devemu", {}, {"LUMORA_RESOURCES=" + c.resources});
        EXPECT_EQ(devemu.status, 1);
        EXPECT_NE(devemu.err.find(named), std::string::npos) << devemu.err;

        const std::string tmp = dir.file("tmp");
        std::filesystem::create_directories(tmp);
        Outcome window = run(prefix + "/bin/lumora", {"--demo", "--screenshot", dir.file("s.png")},
                             offscreen(conf, tmp, c.resources));
        EXPECT_EQ(window.status, 2);
        EXPECT_NE(window.err.find("lumora: emulators: " + named), std::string::npos) << window.err;
        EXPECT_TRUE(demoRoots(tmp).empty());
    }
}

// A UDT live view that ends as planned ends without a complaint.
TEST(Program, AnOrderlyUdtCloseIsSilent) {
    TempDir dir;
    const std::string conf = dir.file("lumora.conf");
    std::ofstream(conf) << "audioBackend = null\ntimeScale = 0.2\n";
    Outcome live = run(kLumora, {"--live", "--udt"},
                       {"LUMORA_CONFIG=" + conf, "LUMORA_DATA_ROOT=" + dir.file("data"), "LUMORA_LOG=warn"});
    EXPECT_EQ(live.status, 0) << live.out << live.err;
    EXPECT_NE(live.out.find("connected over UDT"), std::string::npos) << live.out;
    EXPECT_EQ(live.err.find("warning"), std::string::npos) << live.err;
    EXPECT_EQ(live.err.find("PUConnection"), std::string::npos) << live.err;
}

// The headless taps find their views by name at every size and scale: a tap
// that finds nothing fails the run instead of writing a picture of
// something else. The picture is written under its full name, and the demo's
// temporary data root is gone at the end.
TEST(Program, WindowTapsFollowTheLayoutAndTheDemoCleansUp) {
    TempDir dir;
    const std::string conf = quietConfig(dir);
    const std::string tmp = dir.file("tmp");
    std::filesystem::create_directories(tmp);
    const std::vector<std::string> phone = {"--tap", "deviceButton1", "--tap", "channelButton1",
                                            "--tap", "channelButton4"};
    struct Case {
        std::vector<std::string> size;
        std::vector<std::string> taps;
        int status;
        const char* said;  // on standard error, with status 1
        const char* picture;
    } cases[] = {
        {{}, phone, 0, "", "(320x480)"},
        {{"--tall"}, phone, 0, "", "(320x568)"},
        {{"--tall", "--scale", "2"}, phone, 0, "", "(640x1136)"},
        {{"--pad"}, {"--tap", "liveViewBtn", "--tap", "sectionHeader0", "--tap", "panelChannel0_0"}, 0, "", "(1024x768)"},
        {{"--tall"}, {"--tap", "deviceButton1", "--tap", "noSuchView"}, 1, "--tap noSuchView: no view named", "(320x568)"},
        // The channel strip of a device shows only once the device is chosen.
        {{}, {"--tap", "channelButton1"}, 1, "--tap channelButton1: no view named", "(320x480)"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string shot = dir.file("shot" + std::to_string(++n) + ".png");
        std::vector<std::string> args = {"--demo", "--screenshot", shot, "--after", "0.5"};
        args.insert(args.end(), c.size.begin(), c.size.end());
        args.insert(args.end(), c.taps.begin(), c.taps.end());
        SCOPED_TRACE(testing::PrintToString(args));
        Outcome r = run(kLumora, args, offscreen(conf, tmp));
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        if (c.status != 0) {
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err.find("--tap"), std::string::npos) << r.err;
        }
        EXPECT_NE(r.out.find("lumora: wrote " + shot + " " + c.picture), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("data root " + tmp + "/lumora-demo-"), std::string::npos) << r.out;
        EXPECT_TRUE(demoRoots(tmp).empty()) << demoRoots(tmp)[0];
    }
}

// A demo start as a user sees it with -v: the device reached through the
// relay connects without a warning on the way (no "no network" before the
// network watcher's first report, no look-up of an unconfigured host), and
// the log tells the view's steps: pre-connection, the link and its path,
// the login, the device online, the view started and stopped.
TEST(Program, ADemoStartLogsItsStepsAndNoWarnings) {
    TempDir dir;
    const std::string conf = quietConfig(dir);
    const std::string tmp = dir.file("tmp");
    std::filesystem::create_directories(tmp);
    std::vector<std::string> env = offscreen(conf, tmp);
    env.push_back("LUMORA_LOG=info");
    ChildProcess p(kLumora,
                   {"--demo", "--screenshot", dir.file("s.png"), "--after", "3600", "--tap", "deviceButton2", "--tap",
                    "channelButton1"},
                   env);
    ASSERT_TRUE(p.waitForError("logged in to \"Yard\", channel 1", 120s)) << p.out << p.err;
    p.signal(SIGTERM);
    EXPECT_EQ(p.wait(60s), 0) << p.err;
    for (const char* absent : {"warning", "NETErr", "pre-connection failed", "lumora.invalid"})
        EXPECT_EQ(p.err.find(absent), std::string::npos) << absent << "\n" << p.err;
    for (const char* present : {"\"Yard\" pre-connected over", "\"Yard\" is online", "view of \"Yard\" channel 1 started",
                                "link to \"Yard\" open: ", "logged in to \"Yard\", channel 1",
                                "view on channel 1 stopped"})
        EXPECT_NE(p.err.find(present), std::string::npos) << present << "\n" << p.err;
    EXPECT_TRUE(demoRoots(tmp).empty());
}
