#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "layers/LayerRules.h"
#include "support/TempDir.h"

using lumora::test::LayerRules;
using lumora::test::TempDir;

namespace fs = std::filesystem;

namespace {

const fs::path kSourceDir = LUMORA_SOURCE_DIR;
const fs::path kRuleFile = kSourceDir / "docs" / "layers.txt";

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

std::vector<std::string> places(const std::vector<LayerRules::Finding>& findings) {
    std::vector<std::string> out;
    for (const auto& f : findings) out.push_back(f.where);
    return out;
}

}  // namespace

// The real tree against the real rules: every violation is listed with its
// file and line.
TEST(LayerRules, TheSourceTreeKeepsTheRulesOfDocsLayers) {
    LayerRules rules;
    std::string error;
    ASSERT_TRUE(rules.load(kRuleFile, error)) << kRuleFile << ": " << error;
    const auto findings = rules.check(kSourceDir);
    EXPECT_TRUE(findings.empty()) << findings.size() << " include(s) break " << kRuleFile.string() << ":\n"
                                  << LayerRules::describe(findings);
    const auto stale = rules.unusedExceptions(kSourceDir);
    EXPECT_TRUE(stale.empty()) << LayerRules::describe(stale);
}

// The real rules on a small tree of their own: the forbidden includes (the
// decoder reaching up into the link, a screen including Qt itself, an engine
// file including Qt, a screen reaching a demo, a file in no layer) are each
// reported at their line; what the rules allow is not.
TEST(LayerRules, TheRulesReportEachForbiddenIncludeOfAFixtureTree) {
    LayerRules rules;
    std::string error;
    ASSERT_TRUE(rules.load(kRuleFile, error)) << error;
    TempDir dir;
    const fs::path root = dir.path();
    write(root / "platform/Log.h", "#pragma once\n");
    write(root / "base/link/Session.h", "#pragma once\n#include \"platform/Log.h\"\n");
    write(root / "base/decoder/Decoder.cpp",
          "#include \"base/decoder/Decoder.h\"\n"
          "#include \"platform/Log.h\"\n"
          "#include \"base/link/Session.h\"\n");
    write(root / "base/decoder/Decoder.h", "#pragma once\n#include <vector>\n#include \"Frame.h\"\n");
    write(root / "base/decoder/Frame.h", "#pragma once\n");
    write(root / "app/Entry.cpp", "#include <QString>\n#include \"base/link/Session.h\"\n");
    write(root / "demo/World.h", "#pragma once\n#include \"app/Entry.h\"\n");
    write(root / "app/Entry.h", "#pragma once\n");
    write(root / "ui/kit/UIView.h", "#pragma once\n#include <QWidget>\n#include <qrencode.h>\n");
    write(root / "ui/common/Pane.cpp",
          "#include \"ui/kit/UIView.h\"\n"
          "#include <QPainter>\n"
          "#include \"demo/World.h\"\n"
          "#include \"ui/common/Missing.h\"\n");
    write(root / "ui/tablet/ViewControllerHD.h", "#pragma once\n#include \"ui/phone/DeviceMgmtController.h\"\n");
    write(root / "ui/tablet/Other.h", "#pragma once\n#include \"ui/phone/DeviceMgmtController.h\"\n");
    write(root / "ui/phone/DeviceMgmtController.h", "#pragma once\n#include \"ui/common/Pane.h\"\n");
    write(root / "ui/common/Pane.h", "#pragma once\n");
    write(root / "tests/AnyTest.cpp", "#include <QWidget>\n#include \"demo/World.h\"\n#include \"support/Gone.h\"\n");
    write(root / "stray/Loose.cpp", "int loose;\n");
    write(root / "build-x/CMakeCache.txt", "");
    write(root / "build-x/Generated.cpp", "#include <QWidget>\n");

    const auto findings = rules.check(root);
    EXPECT_EQ(places(findings), (std::vector<std::string>{
                                    "app/Entry.cpp:1",               // <QString> in the engine
                                    "base/decoder/Decoder.cpp:3",    // the decoder includes the link
                                    "stray/Loose.cpp",               // a folder of no layer
                                    "ui/common/Pane.cpp:2",          // a screen includes Qt itself
                                    "ui/common/Pane.cpp:3",          // a screen includes the demo
                                    "ui/common/Pane.cpp:4",          // not in the tree
                                    "ui/tablet/Other.h:2",           // the phone, without an exception
                                }))
        << LayerRules::describe(findings);
    ASSERT_GE(findings.size(), 2u);
    EXPECT_EQ(findings[1].what, "includes \"base/link/Session.h\": layer decoder may not include layer link");
    // The tablet's exceptions this tree does not need are named.
    const auto stale = rules.unusedExceptions(root);
    EXPECT_EQ(stale.size(), 3u) << LayerRules::describe(stale);
}

// Rule files that contradict themselves are refused with the line at fault.
TEST(LayerRules, RuleFilesThatDoNotHoldTogetherAreRefused) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"layer a x : -\nlayer b y : c\n", "line 2: b may include c, which is no layer named before it"},
        {"layer a x : b\nlayer b y : -\n", "line 1: a may include b, which is no layer named before it"},
        {"layer a x : -\nlayer a y : -\n", "line 2: layer a is named twice"},
        {"layer a x\n", "line 1: no ':' in \"layer a x\""},
        {"layer a x :\n", "line 1: layer a says nothing after ':' (\"-\" for nothing)"},
        {"layer a x : -\nlayer b y : z/w/\n", "line 2: b may include z/w/, a folder of no layer named before it"},
        {"layer a x : -\nallow x/f.h -> y :\n", "line 2: allow FILE -> FILE-OR-FOLDER : REASON"},
        {": -\n", "line 1: a line starts with its kind"},
        {"layer a x : -\nlayer b x/in : a\n", "folder x/in (layer b) lies inside x (layer a) without an apart line"},
        {"layer a x : -\nlayer b x : -\n", "folder x is in two layers"},
        {"layer a x : -\napart y : why\n", "apart y: no layer has that folder"},
        {"layer a x : -\nlevel b y : -\n", "line 2: unknown kind of line \"level\""},
        {"# only a comment\n", "no layers"},
    };
    for (const Case& c : cases) {
        LayerRules rules;
        std::string error;
        EXPECT_FALSE(rules.parse(c.text, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    LayerRules rules;
    std::string error;
    EXPECT_TRUE(rules.parse("layer a x : -\nlayer b x/in y : a Qt\napart x/in : lower\n"
                            "allow y/f.h -> x/g.h : reason\n",
                            error))
        << error;
}
