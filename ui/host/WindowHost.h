#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/kit/UIGeometry.h"

namespace lumora {

// Opens the application in one real window (X11 or Wayland; offscreen when
// there is no display): the phone delegate at a phone profile, or the
// tablet one. The mouse is one finger, Ctrl+drag pinches with two; keys:
// R turns the device, A resigns / becomes active, M sends a memory warning,
// S writes a screenshot into the data root, Q quits. The root screen is the phone live view or
// the tablet home screen.
class WindowHost {
public:
    struct Options {
        bool pad = false;
        bool tallPhone = false;  // 320x568 instead of 320x480
        double scale = 1;
        // With a file: the taps happen (0.3 s apart), then after `after`
        // seconds the window is written as PNG and the host quits.
        std::string screenshot;
        double after = 1.0;
        // A tap at a window point, or (name not empty) on the middle of the
        // view of that name, found when the tap is due.
        struct Tap {
            CGPoint point{};
            std::string name;
        };
        std::vector<Tap> taps;
        // Starts relay and device emulators on loopback and a data root of
        // its own (dataRoot, or a new temporary folder, removed at the end
        // unless screenshots were written into it) before the launch.
        bool demo = false;
        std::string dataRoot;
        // The emulators of the demo, handed in by the program's main (they
        // live in the demo library, which the host does not link): `start`
        // starts them for the data root and says where they listen, or
        // answers false with the reason; `stop` ends them, also when they
        // never started. Without `start`, the demo cannot run.
        struct DemoPeers {
            std::function<bool(const std::string& dataRoot, std::string& error)> start;
            std::function<void()> stop;
        };
        DemoPeers demoPeers;
    };

    // Answers the exit status.
    static int run(const Options& options);
};

}  // namespace lumora
