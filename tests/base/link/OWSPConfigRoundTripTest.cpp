// The client's configuration requests and replies against the device
// emulator: what the builder sends, the device stores, and the parser reads
// back, field for field.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OWSPParserTestSupport.h"
#include "app/core/Device.h"
#include "base/link/OWSPMessageBuilder.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using namespace lumora::testing;

namespace {

// Keeps the last record of each configuration reply besides the events.
class ConfigClient : public RecordingClient {
public:
    _TLV_V_CameraColor colour;
    _TLV_V_MotionDetect motion;
    _TLV_V_Network network;
    void deviceDidReceiveCameraColorConfig(Device* d, const _TLV_V_CameraColor& c, int32_t tag) override {
        colour = c;
        RecordingClient::deviceDidReceiveCameraColorConfig(d, c, tag);
    }
    void deviceDidReceiveMotionDetectConfig(Device* d, const _TLV_V_MotionDetect& c, int32_t tag) override {
        motion = c;
        RecordingClient::deviceDidReceiveMotionDetectConfig(d, c, tag);
    }
    void deviceDidReceiveNetworkConfig(Device* d, const _TLV_V_Network& c, int32_t tag) override {
        network = c;
        RecordingClient::deviceDidReceiveNetworkConfig(d, c, tag);
    }
};

class ConfigLink : public OWSPLink {
public:
    std::shared_ptr<ConfigClient> client_ = std::make_shared<ConfigClient>();
    MediaFrame assembly;
    std::shared_ptr<DeviceClientDelegate> client() const override { return client_; }
    MediaFrame& frame() override { return assembly; }
    int32_t tag() const override { return 3; }
};

// A blocking TCP link to the emulator, read through the client's parser.
class Link {
public:
    explicit Link(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Link() { ::close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::vector<uint8_t>& packet) {
        ASSERT_EQ(::send(fd_, packet.data(), packet.size(), MSG_NOSIGNAL), ssize_t(packet.size()));
    }
    // Reads until `until` holds for the events (or 10 s pass).
    bool readUntil(const std::function<bool(const std::vector<std::string>&)>& until) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!until(link.client_->events)) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                               .count());
            if (left <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) return false;
            uint8_t chunk[65536];
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            buffer_.insert(buffer_.end(), chunk, chunk + n);
            int32_t used = parser_.parseMessage(buffer_, nullptr, &link);
            if (used > 0) buffer_.erase(buffer_.begin(), buffer_.begin() + used);
            if (used < 0) buffer_.clear();
        }
        return true;
    }
    bool readEvent(const std::string& e) {
        const size_t before = seen_;
        bool ok = readUntil([&](const std::vector<std::string>& ev) {
            for (size_t i = before; i < ev.size(); ++i)
                if (ev[i] == e) return true;
            return false;
        });
        seen_ = link.client_->events.size();
        return ok;
    }
    ConfigLink link;

private:
    int fd_ = -1;
    bool connected_ = false;
    OWSPMessageParser parser_;
    std::vector<uint8_t> buffer_;
    size_t seen_ = 0;
};

}  // namespace

TEST(OWSPConfigRoundTrip, SetsAreStoredAndReadBackFieldForField) {
    devemu::EmulatorOptions o;
    o.audio = false;
    o.pace = devemu::Pace::Step;
    devemu::DeviceEmulator emu(o);
    std::string error;
    ASSERT_TRUE(emu.start(error)) << error;
    Link link(emu.tcpPort());
    ASSERT_TRUE(link.connected());
    Device device;
    device.userName = "admin";
    device.password = "admin";
    link.send(OWSPMessageBuilder::buildLoginRequestExtend(device, 1, 3, 0, nullptr));
    ASSERT_TRUE(link.readEvent("login @3"));

    _TLV_V_CameraColor colour;
    colour.channel = 2;
    colour.colors = {10, 20, 30, 40, 50};
    link.send(OWSPMessageBuilder::buildCameraColorConfigSetRequest(&colour, nullptr));
    ASSERT_TRUE(link.readEvent("setConfig 0 @3"));
    link.send(OWSPMessageBuilder::buildCameraColorConfigGetRequest(2, nullptr));
    ASSERT_TRUE(link.readEvent("cameraColor ch2 @3"));
    EXPECT_EQ(link.link.client_->colour.colors, colour.colors);
    link.send(OWSPMessageBuilder::buildCameraColorConfigGetRequest(1, nullptr));
    ASSERT_TRUE(link.readEvent("cameraColor ch1 @3"));
    EXPECT_EQ(link.link.client_->colour.colors, (std::array<uint8_t, 5>{})) << "channel 1 keeps its own";

    _TLV_V_MotionDetect motion;
    motion.channel = 3;
    motion.area[31][35] = 77;
    motion.area[0][0] = 0xDEADBEEF;
    link.send(OWSPMessageBuilder::buildMotionDetectConfigSetRequest(&motion, nullptr));
    ASSERT_TRUE(link.readEvent("setConfig 0 @3"));
    link.send(OWSPMessageBuilder::buildMotionDetectConfigGetRequest(3, nullptr));
    ASSERT_TRUE(link.readEvent("motionDetect ch3 77 @3"));
    EXPECT_EQ(link.link.client_->motion.area[0][0], 0xDEADBEEFu);

    _TLV_V_Network network;
    network.name = "yard-cam";
    network.ports = {80, 554, 8000, 0};
    link.send(OWSPMessageBuilder::buildNetworkConfigSetRequest(&network, nullptr));
    ASSERT_TRUE(link.readEvent("setConfig 0 @3"));
    link.send(OWSPMessageBuilder::buildNetworkConfigGetRequest(nullptr));
    ASSERT_TRUE(link.readEvent("network yard-cam @3"));
    EXPECT_EQ(link.link.client_->network.ports, network.ports);

    // A record for a channel the device lacks is refused and not kept.
    colour.channel = 9;
    link.send(OWSPMessageBuilder::buildCameraColorConfigSetRequest(&colour, nullptr));
    ASSERT_TRUE(link.readEvent("setConfigFailed 0 2011 @3"));
    EXPECT_EQ(emu.countEvents("config set camera-color channel=9"), 1u);
}
