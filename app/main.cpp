#include <csignal>
#include <cstdio>

#include "platform/Config.h"

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    lumora::Config& cfg = lumora::Config::shared();
    if (!cfg.loadFromEnvironment()) return 2;
    std::printf("lumora: data root %s\n", cfg.dataRoot.c_str());
    return 0;
}
