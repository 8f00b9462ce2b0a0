#include <csignal>
#include <cstdio>

#include "platform/Config.h"
#include "platform/RunLoop.h"

int main() {
    // This thread owns the main run loop (and so the main queue).
    lumora::RunLoop::main();
    std::signal(SIGPIPE, SIG_IGN);
    lumora::Config& cfg = lumora::Config::shared();
    if (!cfg.loadFromEnvironment()) return 2;
    std::printf("lumora: data root %s\n", cfg.dataRoot.c_str());
    return 0;
}
