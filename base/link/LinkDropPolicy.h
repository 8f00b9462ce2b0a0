#pragma once

#include <atomic>

namespace lumora {

// What the peer-to-peer client does when its link drops, by the connect
// mode the link was opened in. A link whose path is kept for reopening
// (needRecon) is reopened; a server-given TCP link at most twice in a row
// and a UDT link at most three times, then the server is asked for another
// path. A link that is not reopened falls back to what its mode allows:
// asking the server again, hole punching, the owner starting again over the
// relay, or reporting the link lost. The policy keeps the counts of the
// reopenings in a row; the client carries out the step it answers.
//
// Threads: any queue (the counts are atomic); the client hands it one drop
// at a time.
class LinkDropPolicy {
public:
    // Reopenings in a row before the server is asked for another path.
    static constexpr int kTcpReopenLimit = 2;  // a server-given TCP link
    static constexpr int kUdtReopenLimit = 3;  // a UDT link

    enum class Step {
        kNothing,          // the mode reopens nothing
        kReopenTcp,        // reopen the kept TCP path
        kReopenUdt,        // reopen the kept UDT path
        kAskTcpFailed,     // tell the server the TCP path failed (setupUPNPFailedConn)
        kAskUdtFailed,     // tell the server the UDT path failed (setupUDTFailedConn)
        kHolePunch,        // drop the link and punch a hole through the server
        kOwnerRestarts,    // drop the relay link; the owner starts again
        kRelayForPreCon,   // a pre-connection goes on over the relay, reported as a connect
        kReportLost,       // the device link is lost (PingErr)
        kReportError,      // the drop's own error goes to the owner
    };

    // The step for a drop of a link opened in connect `mode`; `needRecon`:
    // its path is kept for reopening, `isPreCon`: the client runs a
    // pre-connection. A reopening is counted, a question to the server after
    // the last allowed reopening starts the count again.
    Step next(int mode, bool needRecon, bool isPreCon);

    // A direct or LAN link whose connect itself failed did not really start:
    // reopening it at once would only fail again, without end. Whether a
    // link of `mode` is no longer to be reopened when its connect failed.
    static bool forgetsPathOnFailedConnect(int mode);

    // Reopenings in a row of a TCP link (drectConTimes) and of a UDT link
    // (udtrecConTimes).
    int tcpReopens() const { return tcpReopens_; }
    int udtReopens() const { return udtReopens_; }

private:
    std::atomic<int> tcpReopens_{0};
    std::atomic<int> udtReopens_{0};
};

}  // namespace lumora
