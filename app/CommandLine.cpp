#include "app/CommandLine.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace lumora {

namespace {

bool number(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

}  // namespace

const char* CommandLine::helpText() {
    return "Usage: lumora [--pad | --tall] [--scale 2] [--demo [--data-root DIR]]\n"
           "              [--screenshot FILE [--after SECONDS] [--tap X,Y|NAME]...]\n"
           "       lumora --live [--run-on] [--udt]\n"
           "       lumora --app [--pad]\n"
           "\n"
           "Opens the phone application in a window (offscreen when there is no\n"
           "display). The mouse is one finger, Ctrl+drag pinches with two; keys: R turn\n"
           "the device, A resign/become active, M memory warning, S screenshot (written\n"
           "into the data root as lumora-screenshot-N.png), Q quit.\n"
           "\n"
           "  --pad          the tablet application\n"
           "  --tall         a 320x568 phone instead of 320x480\n"
           "  --scale 2      a high-density screen (the same points, twice the pixels)\n"
           "  --screenshot FILE  write the window as PNG and exit, after the taps and\n"
           "                 --after SECONDS (default 1); --tap X,Y taps at a window\n"
           "                 point, --tap NAME the middle of the view of that name (the\n"
           "                 status is 1 when such a view is still missing, hidden or\n"
           "                 covered 3 s after its turn); taps come 0.3 s apart\n"
           "  --demo         start a relay/look-up server emulator and device emulators\n"
           "                 on loopback, with a device list for them in a data root of\n"
           "                 its own (--data-root DIR, else a new folder under TMPDIR\n"
           "                 or /tmp, removed at the end unless S wrote screenshots there)\n"
           "  --live         instead, load the configuration and the device list, then\n"
           "                 show live video from a built-in camera emulator on this\n"
           "                 machine for about 5 seconds, without a window\n"
           "  --run-on       (live) keep the live video running until interrupted\n"
           "  --udt          (live) reach the emulator over UDT instead of TCP\n"
           "  --app          instead, start the application with screens without a\n"
           "                 display and run until interrupted (--pad: the tablet one)\n"
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
    enum { kRunOn = 256, kUdt, kApp, kPad, kLive, kTall, kDemo, kScale, kShot, kAfter, kTap, kDataRoot };
    static const option table[] = {
        {"run-on", no_argument, nullptr, kRunOn},
        {"udt", no_argument, nullptr, kUdt},
        {"app", no_argument, nullptr, kApp},
        {"pad", no_argument, nullptr, kPad},
        {"live", no_argument, nullptr, kLive},
        {"tall", no_argument, nullptr, kTall},
        {"scale", required_argument, nullptr, kScale},
        {"screenshot", required_argument, nullptr, kShot},
        {"after", required_argument, nullptr, kAfter},
        {"tap", required_argument, nullptr, kTap},
        {"demo", no_argument, nullptr, kDemo},
        {"data-root", required_argument, nullptr, kDataRoot},
        {"verbose", no_argument, nullptr, 'v'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    std::vector<std::string> words{"lumora"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    bool windowOption = false, afterGiven = false;
    optind = 0;  // a fresh scan (GNU getopt)
    opterr = 0;
    for (int c; (c = getopt_long(int(words.size()), argv.data(), "+vqhV", table, nullptr)) != -1;) {
        std::string value = optarg ? optarg : "";
        switch (c) {
            case kRunOn: runOn = true; break;
            case kUdt: udt = true; break;
            case kApp: app = true; break;
            case kPad: pad = true; break;
            case kLive: live = true; break;
            case kTall: tall = windowOption = true; break;
            case kScale:
                windowOption = true;
                if (!number(value, scale) || (scale != 1 && scale != 2)) {
                    error = "--scale wants 1 or 2";
                    return false;
                }
                break;
            case kShot:
                windowOption = true;
                screenshot = value;
                if (screenshot.empty()) {
                    error = "--screenshot wants a file name";
                    return false;
                }
                break;
            case kAfter:
                windowOption = afterGiven = true;
                if (!number(value, after) || after < 0 || after > 3600) {
                    error = "--after wants seconds from 0 to 3600";
                    return false;
                }
                break;
            case kTap: {
                windowOption = true;
                Point p;
                size_t comma = value.find(',');
                const bool named = !value.empty() && std::isalpha(static_cast<unsigned char>(value[0])) &&
                                   std::all_of(value.begin(), value.end(), [](char c) {
                                       return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                                   });
                if (named) {
                    p.name = value;
                } else if (comma == std::string::npos || !number(value.substr(0, comma), p.x) ||
                           !number(value.substr(comma + 1), p.y)) {
                    error = "--tap wants X,Y or the name of a view";
                    return false;
                }
                taps.push_back(p);
                break;
            }
            case kDemo:
                demo = true;
                windowOption = true;
                break;
            case kDataRoot:
                dataRoot = value;
                windowOption = true;
                if (dataRoot.empty()) {
                    error = "--data-root wants a folder";
                    return false;
                }
                break;
            case 'v': verbose = true; break;
            case 'q': quiet = true; break;
            case 'h': help = true; break;
            case 'V': version = true; break;
            default:
                if (optopt >= kScale && optopt <= kDataRoot) {
                    error = std::string(words[size_t(optind - 1)]) + " needs a value";
                } else {
                    error = "unknown option " + words[size_t(optind - 1)];
                }
                return false;
        }
    }
    if (optind < int(words.size())) {
        error = "unexpected argument \"" + words[size_t(optind)] + "\"";
        return false;
    }
    if (help || version) return true;
    if (app && udt) error = "--udt is for the live video demonstration, not with --app";
    else if (app && runOn) error = "--run-on is for the live video demonstration, not with --app";
    else if (app && live) error = "--live and --app are two different modes";
    else if (verbose && quiet) error = "--verbose and --quiet contradict each other";
    if (!error.empty()) return false;
    live = live || runOn || udt;
    if (live && pad) error = "--pad only goes with --app or the window";
    else if ((live || app) && windowOption) error = "--tall, --scale, --demo, --screenshot, --after and --tap are for the window";
    else if (tall && pad) error = "--tall is a phone size, not with --pad";
    else if ((afterGiven || !taps.empty()) && screenshot.empty()) error = "--after and --tap go with --screenshot";
    else if (!dataRoot.empty() && !demo) error = "--data-root goes with --demo";
    return error.empty();
}

}  // namespace lumora
