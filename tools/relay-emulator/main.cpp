// relay-emulator: the UDP side of a relay/look-up server on a loopback
// address, with optional device stand-ins, for trying the client by hand.
//
//   relay-emulator [--bind ADDR] [--port N] [--seconds S] [--silent K]
//                  [--other-port] [--answer-bytes N]
//                  [--device UID,EXTADDR,INNERADDR,INNERPORT] ...
//                  [--tcp-port N] [--known UID,MODE,ADDR,PORT] ...
//
// With --tcp-port the TCP look-up side listens on the same address; each
// --known device is answered with that connect mode, address and port.
//
// Each --device starts a stand-in bound at EXTADDR (any free port) that
// punches back when asked; the server reports it with that port. The program
// stops by itself after S seconds (default 60).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/relay-emulator/DeviceStandIn.h"
#include "tools/relay-emulator/RelayTcpEmulator.h"
#include "tools/relay-emulator/RelayUdpEmulator.h"

using namespace lumora::relayemu;

int main(int argc, char** argv) {
    std::string bind = "127.0.0.11";
    long port = 0, seconds = 60;
    RelayUdpEmulator::Script script;
    std::vector<std::vector<std::string>> devices;
    std::vector<std::vector<std::string>> known;
    long tcpPort = -1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--bind") bind = next();
        else if (a == "--port") port = std::strtol(next().c_str(), nullptr, 10);
        else if (a == "--seconds") seconds = std::strtol(next().c_str(), nullptr, 10);
        else if (a == "--silent") script.silentFor = static_cast<int>(std::strtol(next().c_str(), nullptr, 10));
        else if (a == "--other-port") script.answerFromOtherPort = true;
        else if (a == "--answer-bytes") script.answerBytes = static_cast<int>(std::strtol(next().c_str(), nullptr, 10));
        else if (a == "--tcp-port") tcpPort = std::strtol(next().c_str(), nullptr, 10);
        else if (a == "--known") {
            std::vector<std::string> parts;
            std::stringstream ss(next());
            for (std::string p; std::getline(ss, p, ',');) parts.push_back(p);
            if (parts.size() != 4) {
                std::fprintf(stderr, "--known wants UID,MODE,ADDR,PORT\n");
                return 2;
            }
            known.push_back(parts);
        } else if (a == "--device") {
            std::vector<std::string> parts;
            std::stringstream ss(next());
            for (std::string p; std::getline(ss, p, ',');) parts.push_back(p);
            if (parts.size() != 4) {
                std::fprintf(stderr, "--device wants UID,EXTADDR,INNERADDR,INNERPORT\n");
                return 2;
            }
            devices.push_back(parts);
        } else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (port < 0 || port > 65535 || seconds <= 0) {
        std::fprintf(stderr, "bad port or seconds\n");
        return 2;
    }
    auto lifetime = std::chrono::seconds(seconds);
    RelayUdpEmulator server(bind, static_cast<uint16_t>(port), script, lifetime);
    if (!server.ok()) {
        std::fprintf(stderr, "cannot bind %s:%ld\n", bind.c_str(), port);
        return 1;
    }
    std::vector<std::unique_ptr<DeviceStandIn>> standIns;
    for (const auto& d : devices) {
        auto s = std::make_unique<DeviceStandIn>(d[0], d[1], 0, DeviceStandIn::Script{}, lifetime);
        if (!s->ok()) {
            std::fprintf(stderr, "cannot bind a stand-in at %s\n", d[1].c_str());
            return 1;
        }
        server.registerDevice(d[0], {d[1], s->port(), d[2],
                                     static_cast<uint16_t>(std::strtol(d[3].c_str(), nullptr, 10)), d[1], s->port()});
        std::printf("device %s at %s:%u\n", d[0].c_str(), d[1].c_str(), s->port());
        standIns.push_back(std::move(s));
    }
    std::unique_ptr<RelayTcpEmulator> tcp;
    if (tcpPort >= 0 && tcpPort <= 65535) {
        tcp = std::make_unique<RelayTcpEmulator>(bind, static_cast<uint16_t>(tcpPort), RelayTcpEmulator::Script(),
                                                 lifetime);
        if (!tcp->ok()) {
            std::fprintf(stderr, "cannot listen on %s:%ld\n", bind.c_str(), tcpPort);
            return 1;
        }
        for (const auto& k : known) {
            RelayTcpEmulator::Device d;
            d.open.mode = static_cast<uint32_t>(std::strtol(k[1].c_str(), nullptr, 10));
            d.open.addr = k[2];
            d.open.port = static_cast<uint16_t>(std::strtol(k[3].c_str(), nullptr, 10));
            d.afterFailedTcp = d.open;
            d.afterFailedUdt = d.open;
            tcp->registerDevice(k[0], d);
        }
        std::printf("relay-emulator tcp %s:%u\n", bind.c_str(), tcp->port());
    }
    std::printf("relay-emulator udp %s:%u for %lds\n", bind.c_str(), server.port(), seconds);
    std::fflush(stdout);
    std::this_thread::sleep_for(lifetime);
    std::printf("relay-emulator: %d address requests, %d hole requests\n", server.addressRequests(),
                server.holeRequests());
    return 0;
}
