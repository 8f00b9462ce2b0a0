// Memory of a client that keeps reconnecting. Opens a device link to the
// built-in device emulator, logs in, streams a little, closes, and again,
// over TCP and over UDT; prints the process's resident size, threads, open
// descriptors and open UDT sockets every few rounds. The anchor is the same
// figures after the first round: what stays after that is what reconnecting
// costs.
//   ReconnectMemoryBench [ROUNDS]     default 40
#include <dirent.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/core/Device.h"
#include "base/link/OWSPMessageBuilder.h"
#include "base/link/PUConnection.h"
#include "base/link/PUConnectionDelegate.h"
#include "base/link/UdtApi.h"
#include "platform/Config.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using namespace std::chrono_literals;

namespace {

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
    return -1;
}

long openDescriptors() {
    long n = -2;  // "." and ".."
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 1;  // the one opendir holds
}

struct Counting : PUConnectionDelegate {
    std::atomic<long> bytes{0};
    int connectionDidReceiveMessage(PUConnection&, const std::vector<uint8_t>& buffer) override {
        bytes += static_cast<long>(buffer.size());
        return static_cast<int>(buffer.size());
    }
};

void figures(const char* what, int round) {
    // Heap in use apart from the resident size: thread stacks the C library
    // keeps for reuse and freed pages it keeps count in the latter only.
    std::printf("%-4s round %3d: resident %6ld kB, heap in use %6zu kB, threads %3ld, descriptors %3ld, "
                "UDT sockets %d\n",
                what, round, statusKb("VmRSS:"), mallinfo2().uordblks / 1024, statusKb("Threads:"), openDescriptors(),
                UdtApi::openSockets());
}

void rounds(int type, const char* what, uint16_t port, int count) {
    auto sink = std::make_shared<Counting>();
    for (int round = 1; round <= count; ++round) {
        {
            auto c = PUConnection::create(type, sink);
            if (c->openPort("127.0.0.1", port)) {
                Device device;
                device.userName = "admin";
                device.password = "";
                c->sendMessage(OWSPMessageBuilder::buildLoginRequest(device, 0, c.get()));
                c->heartbeat();
                std::this_thread::sleep_for(100ms);
            }
            c->close();
        }
        if (round == 1 || round % 10 == 0) {
            std::this_thread::sleep_for(1500ms);  // closes that linger have ended
            figures(what, round);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 40;
    Config::shared().timeScale = 0.2;
    devemu::EmulatorOptions o;
    o.tcpHost = "127.0.0.1";
    o.udt = true;
    o.udtHost = "127.0.0.1";
    o.audio = false;
    devemu::DeviceEmulator emulator(o);
    std::string error;
    if (!emulator.start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    figures("idle", 0);
    rounds(PUConnection::kTCP, "tcp", emulator.tcpPort(), count);
    rounds(PUConnection::kUDT, "udt", emulator.udtPort(), count);
    emulator.stop();
    figures("end", count);
    return 0;
}
