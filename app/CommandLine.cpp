#include "app/CommandLine.h"

#include <getopt.h>

namespace lumora {

const char* CommandLine::helpText() {
    return "Usage: lumora [--run-on] [--udt]\n"
           "       lumora --app [--pad]\n"
           "\n"
           "Loads the configuration and the device list, then shows live video from a\n"
           "built-in camera emulator on this machine for about 5 seconds.\n"
           "\n"
           "  --run-on       keep the live video running until interrupted (Ctrl-C)\n"
           "  --udt          reach the emulator over UDT instead of TCP\n"
           "  --app          instead, start the application (phone layout, screens\n"
           "                 without a display) and run until interrupted\n"
           "  --pad          with --app: start with the tablet layout\n"
           "  -v, --verbose  more diagnostics on standard error\n"
           "  -q, --quiet    errors only on standard error\n"
           "  -h, --help     this text\n"
           "  -V, --version  the program's version\n"
           "\n"
           "Environment: LUMORA_CONFIG (configuration file), LUMORA_DATA_ROOT (data\n"
           "folder), LUMORA_RESOURCES (resource folder), LUMORA_LOG (trace, debug, info,\n"
           "warn, error or off).\n";
}

bool CommandLine::parse(const std::vector<std::string>& args, std::string& error) {
    enum { kRunOn = 256, kUdt, kApp, kPad };
    static const option table[] = {
        {"run-on", no_argument, nullptr, kRunOn}, {"udt", no_argument, nullptr, kUdt},
        {"app", no_argument, nullptr, kApp},      {"pad", no_argument, nullptr, kPad},
        {"verbose", no_argument, nullptr, 'v'},   {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},      {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    std::vector<std::string> words{"lumora"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    optind = 0;  // a fresh scan (GNU getopt)
    opterr = 0;
    for (int c; (c = getopt_long(int(words.size()), argv.data(), "+vqhV", table, nullptr)) != -1;) {
        switch (c) {
            case kRunOn: runOn = true; break;
            case kUdt: udt = true; break;
            case kApp: app = true; break;
            case kPad: pad = true; break;
            case 'v': verbose = true; break;
            case 'q': quiet = true; break;
            case 'h': help = true; break;
            case 'V': version = true; break;
            default: error = "unknown option " + words[size_t(optind - 1)]; return false;
        }
    }
    if (optind < int(words.size())) {
        error = "unexpected argument \"" + words[size_t(optind)] + "\"";
        return false;
    }
    if (help || version) return true;
    if (pad && !app) error = "--pad only goes with --app";
    else if (app && udt) error = "--udt is for the live video demonstration, not with --app";
    else if (app && runOn) error = "--run-on is for the live video demonstration, not with --app";
    else if (verbose && quiet) error = "--verbose and --quiet contradict each other";
    return error.empty();
}

}  // namespace lumora
