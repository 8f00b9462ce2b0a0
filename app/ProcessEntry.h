#pragma once

#include <functional>
#include <memory>

#include "app/RootScreenFactory.h"
#include "platform/Application.h"

namespace lumora {

// The process entry of the application: ignores the broken-pipe signal,
// picks the tablet delegate (AppDelegateHD) when the interface idiom is a
// pad and the phone delegate (AppDelegate) otherwise, launches the
// application and runs the main run loop until `shouldStop` answers true;
// then the application terminates. An exception that escapes ends the run
// with status 1 (and is logged).
//
// Runs on the main run loop's thread.
class ProcessEntry {
public:
    struct Options {
        // The screens' factory, installed before launch (null: keep the
        // one in force).
        std::shared_ptr<RootScreenFactory> screens;
        // Checked after every piece of main-loop work and every few
        // milliseconds; empty: run until the main run loop is stopped.
        std::function<bool()> shouldStop;
        // Called once after launch, with the running application (for the
        // owner to drive its events).
        std::function<void(Application&)> didLaunch;
    };

    // The delegate for the current interface idiom.
    static std::unique_ptr<ApplicationDelegate> makeDelegate();
    // Answers the exit status.
    static int run(Options options);
};

}  // namespace lumora
