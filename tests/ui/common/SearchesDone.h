#pragma once

#include <chrono>

#include "base/link/DataController.h"
#include "platform/runloop/RunLoop.h"

namespace lumora::test {

// The device searches the screens start (the LAN search, the status poll)
// read the configuration on their own queues until they end. A fixture
// changes or restores the configuration only once none is left, pumping the
// main queue meanwhile (their reports come back there). The bound only ends
// a wait that would fail anyway: the searches end by their own (scaled)
// time-outs.
inline bool waitForSearches() {
    return RunLoop::main().runUntil([] { return DataController::searchesUnderWay() == 0; }, std::chrono::seconds(60));
}

}  // namespace lumora::test
