#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/EngineMain.h"
#include "ui/host/WindowHost.h"

using namespace lumora;

// The font and desktop-bus libraries keep caches for the life of the
// process that the leak checker cannot see through.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

namespace {

const char kUsage[] =
    "usage: lumora [--pad] [--tall] [--scale 2] [--demo [--data-root DIR]]\n"
    "              [--screenshot FILE [--after SECONDS] [--tap X,Y]...]\n"
    "       lumora --live [--run-on] [--udt]\n"
    "       lumora --app [--pad]\n"
    "  Opens the phone application in a window (--pad: the tablet one; --tall: a\n"
    "  320x568 phone). Mouse: one finger; Ctrl+drag: two-finger pinch. Keys: R turn,\n"
    "  A resign/become active, M memory warning, S screenshot, Q quit.\n"
    "  With no display it runs offscreen. --screenshot writes the window as PNG after\n"
    "  the taps and SECONDS (default 1) and exits.\n"
    "  --demo     starts relay and device emulators on loopback with a data root of\n"
    "             its own (DIR, or a new folder under /tmp) and plays against them\n"
    "  --live     the live road on a built-in device emulator, no window\n"
    "  --app      the application with headless screens, no window\n";

bool parsePoint(const std::string& s, CGPoint& p) {
    auto comma = s.find(',');
    if (comma == std::string::npos) return false;
    char* end = nullptr;
    p.x = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + comma) return false;
    p.y = std::strtod(s.c_str() + comma + 1, &end);
    return *end == 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--live" || a == "--app" || a == "--run-on" || a == "--udt") return EngineMain::run(argc, argv);
    }
    WindowHost::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "lumora: %s needs a value\n%s", a.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--pad") {
            options.pad = true;
        } else if (a == "--tall") {
            options.tallPhone = true;
        } else if (a == "--scale") {
            options.scale = std::atof(value().c_str());
        } else if (a == "--screenshot") {
            options.screenshot = value();
        } else if (a == "--after") {
            options.after = std::atof(value().c_str());
        } else if (a == "--tap") {
            CGPoint p;
            if (!parsePoint(value(), p)) {
                std::fprintf(stderr, "lumora: --tap wants X,Y\n");
                return 2;
            }
            options.taps.push_back(p);
        } else if (a == "--demo") {
            options.demo = true;
        } else if (a == "--data-root") {
            options.dataRoot = value();
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "lumora: unknown argument \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    return WindowHost::run(options);
}
