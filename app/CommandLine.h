#pragma once

#include <string>
#include <vector>

namespace lumora {

// The command line of the lumora program.
class CommandLine {
public:
    bool runOn = false;    // --run-on
    bool udt = false;      // --udt
    bool app = false;      // --app
    bool pad = false;      // --pad
    bool help = false;     // -h, --help
    bool version = false;  // -V, --version
    bool verbose = false;  // -v, --verbose
    bool quiet = false;    // -q, --quiet

    // Reads the words after the program name. Answers false with the reason
    // in `error` for an unknown option, a stray argument, or options that
    // mean nothing together.
    bool parse(const std::vector<std::string>& args, std::string& error);

    static const char* helpText();
};

}  // namespace lumora
