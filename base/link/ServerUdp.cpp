#include "base/link/ServerUdp.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessageParser.h"
#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// The protocol's counts and waits (waits before scaling).
constexpr int kExtraSendTries = 51;          // resends of 0x2010 while a send fails
constexpr int kAddressRequestRepeats = 6;    // resends of 0x2010 while no answer comes
constexpr int kAddressAnswerWaitMs = 2000;
constexpr int kPunchCount = 20;              // 0x1008 datagrams sent towards the device
constexpr int kPunchWaitMs = 5000;
constexpr size_t kReceiveBufferSize = 1024;

struct Endpoint {
    std::string addr;
    uint16_t port = 0;
};

struct Outcome {
    bool success = false;
    int fd = 0;
    std::string addr;
    int port = 0;
    bool inner = false;
};

// Owns the exchange's socket: closed on every path unless released.
class OwnedSocket {
public:
    explicit OwnedSocket(int fd) : fd_(fd) {}
    ~OwnedSocket() { socketClose(fd_); }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = 0;
        return fd;
    }

private:
    int fd_;
};

// Collects what the parser reads from one datagram.
struct DatagramReader : RkMessgeParserDelegate {
    std::optional<ServerUdp::AddressAnswer> addresses;
    bool gotPunch = false;

    void tolvGetTAddrResponseFromParser(RkMessageParser&, const RkDeviceId&, const std::string& ext, uint16_t extP,
                                        const std::string& inner, uint16_t innerP, const std::string& self,
                                        uint16_t selfP) override {
        addresses = ServerUdp::AddressAnswer{ext, inner, self, extP, innerP, selfP};
    }
    void tolvGetUDPHoleRes(bool, const std::string&, int) override { gotPunch = true; }

    void read(std::span<const uint8_t> datagram) {
        RkMessageParser parser;
        parser.setDelegate(this);
        parser.parseMsgData(datagram, std::string(), 0);
    }
};

// An answer's address is used only when it is a dotted IPv4 address a
// datagram can be sent to (not 0.0.0.0, broadcast or multicast) with a
// port other than 0.
bool usableEndpoint(const std::string& addr, uint16_t port) {
    in_addr a{};
    if (port == 0 || ::inet_pton(AF_INET, addr.c_str(), &a) != 1) return false;
    const uint32_t host = ntohl(a.s_addr);
    return host != 0 && host < 0xE0000000u;
}

int sendTo(int fd, const Endpoint& to, const std::vector<uint8_t>& msg) {
    return udpSocketSendTo(fd, to.addr, to.port, msg.data(), msg.size());
}

// Waits up to ms for a datagram with content. Receive errors (the system's
// reports of earlier punches that met a closed port) and empty datagrams do
// not end the wait early. Answers the length, 0 when nothing came in time.
int receivePeerDatagram(int fd, uint8_t* buf, size_t size, int ms, Endpoint& from) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;
        int n = udpSocketRecvFrom(fd, from.addr, from.port, buf, size, static_cast<int>(left));
        if (n > 0) return n;
    }
}

Outcome runExchange(const std::string& uid, const std::string& serverAddr, uint16_t serverPort) {
    const Config& cfg = Config::shared();
    if (!NETStatusObj::sharedInstance().isHaveNet()) {
        Log::warn("hole", "no network");
        return {};
    }
    Endpoint server;
    server.addr = resolveFirstIPv4(serverAddr);
    if (server.addr.empty()) {
        Log::warn("hole", "cannot resolve %s", serverAddr.c_str());
        return {};
    }
    server.port = serverPort;

    const RkDeviceId deviceId = RkMessageBuilder::deviceIdForUid(uid);
    const std::vector<uint8_t> addressRequest = RkMessageBuilder::buildMsgForCUdpGetTermAddrConnectionRequest(deviceId);

    int fd = udpSocketCreateBind(randomLocalPort());
    if (fd <= 0) fd = udpSocketCreateBind(randomLocalPort());
    if (fd <= 0) {
        Log::warn("hole", "cannot bind a UDP socket");
        return {};
    }
    OwnedSocket sock(fd);

    // Ask the server for both ends' addresses. A send that fails (-1) or
    // sends nothing is tried again.
    for (int i = 0; i <= kExtraSendTries; ++i) {
        if (sendTo(fd, server, addressRequest) > 0) break;
    }
    uint8_t buf[kReceiveBufferSize];
    Endpoint from;
    const int answerWait = cfg.scaledMs(kAddressAnswerWaitMs);
    int n = udpSocketRecvFrom(fd, from.addr, from.port, buf, sizeof buf, answerWait);
    for (int again = 0; n == 0 && again < kAddressRequestRepeats; ++again) {
        Log::info("hole", "no answer from %s:%u, asking again", server.addr.c_str(), server.port);
        sendTo(fd, server, addressRequest);
        n = udpSocketRecvFrom(fd, from.addr, from.port, buf, sizeof buf, answerWait);
    }
    if (n <= 0) {
        Log::warn("hole", "no address answer");
        return {};
    }
    // Later requests go where the answer came from.
    server = from;

    const std::optional<ServerUdp::AddressAnswer> reply =
        ServerUdp::readAddressAnswer(std::span<const uint8_t>(buf, static_cast<size_t>(n)));
    if (!reply) {
        Log::warn("hole", "unexpected answer of %d bytes", n);
        return {};
    }
    const ServerUdp::AddressAnswer& answer = *reply;
    Log::info("hole", "self %s:%u, device %s:%u, inner %s:%u", answer.selfAddr.c_str(), answer.selfPort,
                answer.extAddr.c_str(), answer.extPort, answer.innerAddr.c_str(), answer.innerPort);

    // Both ends behind one NAT: the device's LAN address serves.
    if (answer.selfAddr == answer.extAddr) {
        if (!usableEndpoint(answer.innerAddr, answer.innerPort)) {
            Log::warn("hole", "same NAT but no usable inner address");
            return {};
        }
        return {true, sock.release(), answer.innerAddr, answer.innerPort, true};
    }

    if (!usableEndpoint(answer.extAddr, answer.extPort)) {
        Log::warn("hole", "no usable device address in the answer");
        return {};
    }
    // Punch towards the device while the server asks it to punch back.
    const Endpoint device{answer.extAddr, answer.extPort};
    const std::vector<uint8_t> punch = RkMessageBuilder::buildMsgForUdpHolePunch(deviceId);
    for (int i = 0; i < kPunchCount; ++i) sendTo(fd, device, punch);

    const std::vector<uint8_t> holeRequest = RkMessageBuilder::buildMsgForCUdpHoleConnectionRequest(
        answer.extAddr, answer.extPort, answer.selfAddr, answer.selfPort, deviceId);
    if (sendTo(fd, server, holeRequest) < 1 && sendTo(fd, server, holeRequest) < 1) {
        Log::warn("hole", "cannot send the hole request");
        return {};
    }

    const int punchWait = cfg.scaledMs(kPunchWaitMs);
    // One wait, and one more after repeating the hole request.
    auto waitForDatagram = [&]() -> int {
        int got = receivePeerDatagram(fd, buf, sizeof buf, punchWait, from);
        if (got == 0) {
            sendTo(fd, server, holeRequest);
            got = receivePeerDatagram(fd, buf, sizeof buf, punchWait, from);
        }
        return got;
    };
    auto isPunch = [&](int len) {
        return ServerUdp::isPunchReply(std::span<const uint8_t>(buf, static_cast<size_t>(len)));
    };

    n = waitForDatagram();
    if (n == 0) {
        Log::warn("hole", "no punch from the device");
        return {};
    }
    if (!isPunch(n)) {
        Log::info("hole", "a datagram that is not a punch, waiting once more");
        n = waitForDatagram();
        if (n == 0 || !isPunch(n)) {
            Log::warn("hole", "no punch from the device");
            return {};
        }
    }
    Log::info("hole", "punched through to %s:%u", answer.extAddr.c_str(), from.port);
    return {true, sock.release(), answer.extAddr, from.port, false};
}

}  // namespace

ServerUdp& ServerUdp::sharedInstance() {
    static ServerUdp* instance = new ServerUdp;  // never destroyed: work still winding down at exit may use it
    return *instance;
}

int ServerUdp::startHole(const std::string& uid, const std::string& serverAddr, uint16_t serverPort) {
    Outcome o = runExchange(uid, serverAddr, serverPort);
    HoleDelegate* d = delegate_.load();
    if (o.success && !d) {
        Log::warn("hole", "no delegate to take the socket, closing it");
        socketClose(o.fd);
        return 1;
    }
    if (d) {
        if (o.success)
            d->didHole(true, o.fd, o.addr, o.port, o.inner);
        else
            d->didHole(false, 0, std::nullopt, 0, false);
    }
    return o.success ? 1 : 0;
}

std::optional<ServerUdp::AddressAnswer> ServerUdp::readAddressAnswer(std::span<const uint8_t> datagram) {
    DatagramReader r;
    r.read(datagram);
    return r.addresses;
}

bool ServerUdp::isPunchReply(std::span<const uint8_t> datagram) {
    DatagramReader r;
    r.read(datagram);
    return r.gotPunch;
}

void ServerUdp::stopHole(int* fd) {
    if (!fd) return;
    socketClose(*fd);
    *fd = 0;
}

}  // namespace lumora
