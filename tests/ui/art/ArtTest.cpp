#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "ui/art/ArtManifest.h"

using namespace lumora;

namespace {

// Every picture the screens load by name. Kept by hand: a screen that starts
// using a new picture adds it here and to ui/art/manifest.txt.
const std::vector<std::string> kScreenPictures = {
    "1viewmode_clk", "22", "4viewmode_clk", "6viewmode_clk", "9viewmode_clk", "Padhelp1", "Padhelp2", "back",
    "back_clk", "cell_clk", "cellseg", "channel", "channel02", "check", "chgchnl_clk", "collect",
    "collect_clk", "delete", "device", "device02", "device02online", "deviceIpc", "deviceIpc02",
    "devicefolder", "deviceipc02online", "deviceipconline", "deviceonline", "down_clk", "dvcadd",
    "dvcadd_clk", "dvr", "edit", "edit_clk", "file", "file_icon", "grayButton", "help1", "help2", "help3",
    "help4", "heng", "home", "home_clk", "idown_clk", "iup_clk", "larrow", "left_clk", "leftarrow_clk",
    "listseg", "listseg_clk", "ltoolbarbg", "maotouying", "more02", "movieBackward", "movieBackwardSelected",
    "movieEndFullscreen", "movieForward", "movieForwardSelected", "movieFullscreen", "moviePause",
    "moviePlay", "none", "none_clk", "paduistyle2_landscap_bg", "paduistyle2_portrait_bg", "photoseg",
    "photoseg_clk", "play_clk", "record_clk", "recordicon", "redbutton", "replay", "right_clk",
    "rightarrow_clk", "sarrow1", "sarrow2", "savetoalbum", "savetoalbum_clk", "section", "section_clk",
    "signal", "signal_fired", "snapshot_clk", "talk_clk", "talkstatus", "tdown_clk", "titleBackGround",
    "toastbkg", "toolbar_bkg", "ttoolbarbg", "tup_clk", "up_clk", "videoseg", "videoseg_clk", "viewseg",
    "viewseg_clk", "voice_clk", "voicestatus", "xin", "zoomdown_clk", "zoomup_clk",
};

// Pictures whose size the screens rely on (frames built from the image size,
// stretch caps, segment widths).
struct KnownSize {
    const char* name;
    int width, height;
};
const KnownSize kKnownSizes[] = {
    {"signal", 22, 22},    {"channel", 39, 39},     {"deviceIpc", 43, 43},  {"toolbar_bkg", 530, 43},
    {"none", 60, 32},      {"home", 41, 41},         {"back", 41, 41},       {"savetoalbum", 155, 41},
    {"collect", 41, 41},   {"sarrow1", 35, 35},     {"larrow", 35, 35},     {"delete", 35, 35},
    {"devicefolder", 32, 30}, {"photoseg", 62, 42}, {"listseg_clk", 62, 42}, {"xin", 40, 40},
    {"redbutton", 21, 44}, {"Padhelp1", 1024, 704},  {"recordicon", 20, 20},
};

std::vector<ArtEntry> loadManifest() {
    std::vector<ArtEntry> entries;
    std::string error;
    EXPECT_TRUE(ArtManifest::load(LUMORA_ART_MANIFEST, entries, error)) << error;
    return entries;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Width and height from a PNG's header; false when the file is not a PNG.
bool pngSize(const std::string& path, uint32_t& width, uint32_t& height) {
    const std::string data = readFile(path);
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (data.size() < 24 || data.compare(0, 8, kSignature, 8) != 0 || data.compare(12, 4, "IHDR") != 0) {
        return false;
    }
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(data[at])) << 24) | (uint32_t(uint8_t(data[at + 1])) << 16) |
               (uint32_t(uint8_t(data[at + 2])) << 8) | uint32_t(uint8_t(data[at + 3]));
    };
    width = be32(16);
    height = be32(20);
    return true;
}

bool runGenerator(const std::string& outDir) {
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const std::string command = std::string("'") + LUMORA_ARTGEN + "' '" + LUMORA_ART_MANIFEST + "' '" + outDir +
                                "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace

TEST(ArtManifest, ParsesEntriesWithPlaceAndLabel) {
    std::vector<ArtEntry> entries;
    std::string error;
    ASSERT_TRUE(ArtManifest::parse("# comment\n\n"
                                   "a 10 20 round #112233 ipc/t #ffffff\n"
                                   "b 320 416 page #1f4e79 folder #ffffff Two words  \n"
                                   "c 8 8 clear - check #80ff0000\n",
                                   entries, error))
        << error;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_EQ(entries[0].width, 10);
    EXPECT_EQ(entries[0].height, 20);
    EXPECT_EQ(entries[0].glyph, "ipc");
    EXPECT_EQ(entries[0].place, "t");
    EXPECT_EQ(entries[0].label, "");
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[1].place, "c");
    EXPECT_EQ(entries[1].label, "Two words");
    EXPECT_EQ(entries[2].ink, "#80ff0000");
}

TEST(ArtManifest, RejectsMalformedLinesWithTheLineNumber) {
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"a 10 20 round #112233", "too few columns"},
        {"a 0 20 round #112233 none #fff000", "bad size"},
        {"a 10 99999 round #112233 none #fff000", "bad size"},
        {"a 10 2x round #112233 none #fff000", "bad size"},
        {"a 10 20 wavy #112233 none #fff000", "unknown background"},
        {"a 10 20 round 112233 none #fff000", "bad colour"},
        {"a 10 20 round #112233 none -", "bad colour"},
        {"a 10 20 clear #112233 none #fff000", "clear background"},
        {"a 10 20 round - none #fff000", "clear background"},
        {"a 10 20 round #112233 ipc/x #fff000", "bad glyph"},
        {"../a 10 20 round #112233 none #fff000", "bad name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<ArtEntry> entries;
        std::string error;
        EXPECT_FALSE(ArtManifest::parse(std::string("ok 1 1 clear - none #000000\n") + c.line + "\n", entries, error));
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        EXPECT_TRUE(entries.empty());
    }
    std::vector<ArtEntry> entries;
    std::string error;
    EXPECT_FALSE(ArtManifest::parse("a 1 1 clear - none #000000\na 2 2 clear - none #000000\n", entries, error));
    EXPECT_NE(error.find("repeated name"), std::string::npos) << error;
    EXPECT_FALSE(ArtManifest::load("/nonexistent/manifest.txt", entries, error));
}

TEST(Art, EveryPictureTheScreensNameIsInTheManifest) {
    std::set<std::string> names;
    for (const ArtEntry& e : loadManifest()) names.insert(e.name);
    for (const std::string& name : kScreenPictures) EXPECT_TRUE(names.count(name)) << name;
}

TEST(Art, EveryEntryIsDrawnAtOneAndTwoTimesItsSize) {
    const std::vector<ArtEntry> entries = loadManifest();
    ASSERT_GE(entries.size(), kScreenPictures.size());
    for (const ArtEntry& e : entries) {
        SCOPED_TRACE(e.name);
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(pngSize(std::string(LUMORA_IMAGE_DIR) + "/" + e.name + ".png", w, h));
        EXPECT_EQ(w, uint32_t(e.width));
        EXPECT_EQ(h, uint32_t(e.height));
        ASSERT_TRUE(pngSize(std::string(LUMORA_IMAGE_DIR) + "/" + e.name + "@2x.png", w, h));
        EXPECT_EQ(w, uint32_t(2 * e.width));
        EXPECT_EQ(h, uint32_t(2 * e.height));
    }
    for (const KnownSize& k : kKnownSizes) {
        SCOPED_TRACE(k.name);
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(pngSize(std::string(LUMORA_IMAGE_DIR) + "/" + k.name + ".png", w, h));
        EXPECT_EQ(w, uint32_t(k.width));
        EXPECT_EQ(h, uint32_t(k.height));
    }
}

TEST(Art, DrawingIsByteStableAcrossRuns) {
    test::TempDir first, second;
    ASSERT_TRUE(runGenerator(first.path()));
    ASSERT_TRUE(runGenerator(second.path()));
    for (const ArtEntry& e : loadManifest()) {
        for (const std::string suffix : {".png", "@2x.png"}) {
            SCOPED_TRACE(e.name + suffix);
            const std::string a = readFile(first.file(e.name + suffix));
            ASSERT_FALSE(a.empty());
            EXPECT_EQ(a, readFile(second.file(e.name + suffix)));
            EXPECT_EQ(a, readFile(std::string(LUMORA_IMAGE_DIR) + "/" + e.name + suffix));
        }
    }
}

TEST(Art, GeneratorRefusesABadManifest) {
    test::TempDir dir;
    {
        std::ofstream(dir.file("bad.txt")) << "x 10 10 round #112233 no_such_glyph #ffffff\n";
    }
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const std::string command = std::string("'") + LUMORA_ARTGEN + "' '" + dir.file("bad.txt") + "' '" +
                                dir.file("out") + "' >/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    std::ifstream probe(dir.file("out/x.png"));
    EXPECT_FALSE(probe.good());
}
