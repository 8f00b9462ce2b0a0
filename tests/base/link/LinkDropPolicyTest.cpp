#include "base/link/LinkDropPolicy.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/core/ConnectModes.h"

using namespace lumora;
using namespace lumora::connectmode;
using Step = LinkDropPolicy::Step;

namespace {

// One drop of a fresh policy: the step for each mode, whether the path is
// kept and whether the client runs a pre-connection, and the reopening it
// counts.
TEST(LinkDropPolicyTest, TheFirstDropTakesTheStepOfItsMode) {
    struct Row {
        int mode;
        bool needRecon;
        bool isPreCon;
        Step step;
        int tcpReopens;
        int udtReopens;
    };
    const std::vector<Row> rows = {
        {kServerTcp, true, false, Step::kReopenTcp, 1, 0},
        {kServerTcp, false, false, Step::kAskTcpFailed, 0, 0},
        {kDirectTcp, true, false, Step::kReopenTcp, 1, 0},
        {kDirectTcp, false, false, Step::kReportLost, 0, 0},
        {kLanTcp, true, false, Step::kReopenTcp, 1, 0},
        {kLanTcp, false, true, Step::kReportLost, 0, 0},
        {kRelay, true, false, Step::kOwnerRestarts, 0, 0},
        {kRelay, false, false, Step::kReportError, 0, 0},
        {kServerUdt, true, false, Step::kReopenUdt, 0, 1},
        {kServerUdt, false, true, Step::kHolePunch, 0, 0},
        {kInnerUdt, true, true, Step::kReopenUdt, 0, 1},
        {kInnerUdt, false, false, Step::kAskUdtFailed, 0, 0},
        {kInnerUdt, false, true, Step::kRelayForPreCon, 0, 0},
        {kHoleUdt, true, false, Step::kReopenUdt, 0, 1},
        {kHoleUdt, false, false, Step::kAskUdtFailed, 0, 0},
        {kHoleUdt, false, true, Step::kRelayForPreCon, 0, 0},
        {kStopped, true, false, Step::kNothing, 0, 0},
        {kLanSearching, true, false, Step::kNothing, 0, 0},
        {kLanFound, true, false, Step::kNothing, 0, 0},
        {kLanFailed, false, true, Step::kNothing, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " needRecon " << r.needRecon << " preCon " << r.isPreCon);
        LinkDropPolicy policy;
        EXPECT_EQ(policy.next(r.mode, r.needRecon, r.isPreCon), r.step);
        EXPECT_EQ(policy.tcpReopens(), r.tcpReopens);
        EXPECT_EQ(policy.udtReopens(), r.udtReopens);
    }
}

// A kept path is reopened up to the limit in a row; the next drop asks the
// server for another path, even when the path is still kept or the client
// runs a pre-connection, and the count starts again.
TEST(LinkDropPolicyTest, ReopeningsInARowStopAtTheLimitThenTheServerIsAsked) {
    struct Row {
        int mode;
        bool isPreCon;
        Step reopen;
        int limit;
        Step atLimit;
    };
    const std::vector<Row> rows = {
        {kServerTcp, false, Step::kReopenTcp, LinkDropPolicy::kTcpReopenLimit, Step::kAskTcpFailed},
        {kServerUdt, false, Step::kReopenUdt, LinkDropPolicy::kUdtReopenLimit, Step::kAskUdtFailed},
        {kInnerUdt, true, Step::kReopenUdt, LinkDropPolicy::kUdtReopenLimit, Step::kAskUdtFailed},
        {kHoleUdt, true, Step::kReopenUdt, LinkDropPolicy::kUdtReopenLimit, Step::kAskUdtFailed},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode);
        LinkDropPolicy policy;
        for (int round = 0; round < 2; ++round) {
            for (int i = 1; i <= r.limit; ++i) {
                EXPECT_EQ(policy.next(r.mode, true, r.isPreCon), r.reopen);
                EXPECT_EQ(policy.tcpReopens() + policy.udtReopens(), i);
            }
            EXPECT_EQ(policy.next(r.mode, true, r.isPreCon), r.atLimit);
            EXPECT_EQ(policy.tcpReopens() + policy.udtReopens(), 0);
        }
        // At the limit a path no longer kept asks the server too.
        for (int i = 0; i < r.limit; ++i) policy.next(r.mode, true, r.isPreCon);
        EXPECT_EQ(policy.next(r.mode, false, r.isPreCon), r.atLimit);
    }
}

// Direct and LAN TCP links are reopened as long as their path is kept (the
// client forgets it once a reopening fails to start); they count, but no
// limit applies.
TEST(LinkDropPolicyTest, DirectAndLanTcpLinksAreReopenedWithoutALimit) {
    for (int mode : {kDirectTcp, kLanTcp}) {
        LinkDropPolicy policy;
        for (int i = 1; i <= 2 * LinkDropPolicy::kTcpReopenLimit + 1; ++i) {
            EXPECT_EQ(policy.next(mode, true, false), Step::kReopenTcp);
            EXPECT_EQ(policy.tcpReopens(), i);
        }
        EXPECT_EQ(policy.next(mode, false, false), Step::kReportLost);
    }
}

// The counts of TCP and UDT reopenings are kept apart.
TEST(LinkDropPolicyTest, TcpAndUdtReopeningsCountApart) {
    LinkDropPolicy policy;
    policy.next(kServerTcp, true, false);
    policy.next(kServerTcp, true, false);
    EXPECT_EQ(policy.next(kServerUdt, true, false), Step::kReopenUdt);
    EXPECT_EQ(policy.tcpReopens(), 2);
    EXPECT_EQ(policy.udtReopens(), 1);
    EXPECT_EQ(policy.next(kServerTcp, true, false), Step::kAskTcpFailed);
    EXPECT_EQ(policy.udtReopens(), 1);
}

TEST(LinkDropPolicyTest, OnlyDirectAndLanTcpLinksForgetTheirPathWhenTheirConnectFailed) {
    for (int mode : {kStopped, kLanSearching, kServerTcp, kRelay, kServerUdt, kLanFound, kLanFailed, kInnerUdt,
                     kHoleUdt, kDirectTcp, kLanTcp}) {
        EXPECT_EQ(LinkDropPolicy::forgetsPathOnFailedConnect(mode), mode == kDirectTcp || mode == kLanTcp) << mode;
    }
}

}  // namespace
