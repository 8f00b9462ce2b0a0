#include "app/ProcessEntry.h"

#include <chrono>
#include <csignal>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/AppDelegateHD.h"
#include "platform/InterfaceIdiom.h"
#include "platform/runloop/RunLoop.h"
#include "platform/Log.h"

namespace lumora {

std::unique_ptr<ApplicationDelegate> ProcessEntry::makeDelegate() {
    if (InterfaceIdiom::isPad()) return std::make_unique<AppDelegateHD>();
    return std::make_unique<AppDelegate>();
}

int ProcessEntry::run(Options options) {
    std::signal(SIGPIPE, SIG_IGN);
    try {
        if (options.screens) RootScreenFactory::install(options.screens);
        std::unique_ptr<ApplicationDelegate> delegate = makeDelegate();
        Application app(*delegate);
        app.launch();
        if (options.didLaunch) options.didLaunch(app);
        RunLoop& loop = RunLoop::main();
        if (options.shouldStop) {
            while (!options.shouldStop()) loop.runUntil(options.shouldStop, std::chrono::hours(1));
        } else {
            loop.run();
        }
        app.terminate();
        // Work the delegate started may still hold callbacks to it: give
        // the main loop one turn before the delegate goes.
        loop.drainPending();
    } catch (const std::exception& e) {
        Log::error("app", "ended by an exception: %s", e.what());
        return 1;
    } catch (...) {
        Log::error("app", "ended by an exception");
        return 1;
    }
    return 0;
}

}  // namespace lumora
