#include "base/link/LinkDropPolicy.h"

#include "app/core/ConnectModes.h"

namespace lumora {

using namespace connectmode;

namespace {

using Step = LinkDropPolicy::Step;

// A kept path is reopened (`reopen`, counted) at most `limit` times in a
// row; at the limit the server is asked (`ask`) and the count starts again.
// A path not kept: `notKept`.
Step reopenUpTo(std::atomic<int>& reopens, int limit, bool needRecon, Step reopen, Step ask, Step notKept) {
    if (reopens >= limit) {
        reopens = 0;
        return ask;
    }
    if (needRecon) {
        ++reopens;
        return reopen;
    }
    return notKept;
}

}  // namespace

Step LinkDropPolicy::next(int mode, bool needRecon, bool isPreCon) {
    switch (mode) {
        case kServerTcp:
            return reopenUpTo(tcpReopens_, kTcpReopenLimit, needRecon, Step::kReopenTcp, Step::kAskTcpFailed,
                              Step::kAskTcpFailed);
        case kDirectTcp:
        case kLanTcp:
            if (needRecon) {
                ++tcpReopens_;
                return Step::kReopenTcp;
            }
            return Step::kReportLost;
        case kRelay:
            return needRecon ? Step::kOwnerRestarts : Step::kReportError;
        case kServerUdt:
            return reopenUpTo(udtReopens_, kUdtReopenLimit, needRecon, Step::kReopenUdt, Step::kAskUdtFailed,
                              Step::kHolePunch);
        case kInnerUdt:
        case kHoleUdt:
            return reopenUpTo(udtReopens_, kUdtReopenLimit, needRecon, Step::kReopenUdt, Step::kAskUdtFailed,
                              isPreCon ? Step::kRelayForPreCon : Step::kAskUdtFailed);
        default:
            return Step::kNothing;
    }
}

bool LinkDropPolicy::forgetsPathOnFailedConnect(int mode) { return mode == kDirectTcp || mode == kLanTcp; }

}  // namespace lumora
