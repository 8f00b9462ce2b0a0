#pragma once

#include <string>
#include <vector>

namespace lumora {

// The command line of the lumora program. Three modes: the application in a
// window (the default), the live video demonstration without a window
// (--live, or any of its options), and the application with headless
// screens (--app).
class CommandLine {
public:
    // A tap: at a window point, or on the view of that name (its middle,
    // wherever the chosen layout puts it).
    struct Point {
        double x = 0;
        double y = 0;
        std::string name;
    };

    bool live = false;     // --live (also implied by --run-on and --udt)
    bool runOn = false;    // --run-on
    bool udt = false;      // --udt
    bool app = false;      // --app
    bool pad = false;      // --pad
    bool help = false;     // -h, --help
    bool version = false;  // -V, --version
    bool verbose = false;  // -v, --verbose
    bool quiet = false;    // -q, --quiet
    // The window.
    bool tall = false;           // --tall: a 320x568 phone
    double scale = 1;            // --scale 1|2
    std::string screenshot;      // --screenshot FILE
    double after = 1;            // --after SECONDS
    std::vector<Point> taps;     // --tap X,Y or --tap NAME (repeatable)
    // --demo: relay and device emulators on loopback and a data root of its
    // own (--data-root DIR, else a new folder under /tmp).
    bool demo = false;
    std::string dataRoot;        // --data-root DIR (with --demo)

    // True when the program opens its window.
    bool window() const { return !live && !app; }

    // Reads the words after the program name. Answers false with the reason
    // in `error` for an unknown option, a stray argument, a bad value, or
    // options that mean nothing together.
    bool parse(const std::vector<std::string>& args, std::string& error);

    static const char* helpText();
};

}  // namespace lumora
