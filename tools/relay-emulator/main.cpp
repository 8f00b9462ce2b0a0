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
#include <getopt.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Log.h"
#include "tools/relay-emulator/DeviceStandIn.h"
#include "tools/relay-emulator/RelayTcpEmulator.h"
#include "tools/relay-emulator/RelayUdpEmulator.h"

using namespace lumora::relayemu;

namespace {

const char kHelp[] =
    "relay-emulator: a stand-in for the relay/look-up servers on a loopback address,\n"
    "for trying the client by hand. It answers the client's address and hole-punching\n"
    "requests over UDP and, with --tcp-port, the device look-up over TCP.\n"
    "\n"
    "Usage: relay-emulator [options]\n"
    "  --bind ADDR               address to listen on (127.0.0.11)\n"
    "  --port N                  UDP port, 0 for any free port (0)\n"
    "  --seconds S               stop by itself after S seconds, 1 to 86400 (60)\n"
    "  --silent K                leave the first K requests unanswered (0)\n"
    "  --other-port              answer from another port than the one asked\n"
    "  --answer-bytes N          cut every answer to N bytes, 0 to 65535\n"
    "  --device UID,EXTADDR,INNERADDR,INNERPORT\n"
    "                            a device stand-in bound at EXTADDR (any free port)\n"
    "                            that punches back when asked; may be repeated\n"
    "  --tcp-port N              also answer device look-ups over TCP on port N\n"
    "  --known UID,MODE,ADDR,PORT  with --tcp-port: answer a look-up of UID with this\n"
    "                            connect mode, address and port; may be repeated\n"
    "  -v, --verbose             more diagnostics on standard error\n"
    "  -q, --quiet               errors only on standard error\n"
    "  -h, --help                this text\n"
    "  -V, --version             the program's version\n";

int usageError(const std::string& what) {
    std::fprintf(stderr, "relay-emulator: %s (see --help)\n", what.c_str());
    return 2;
}

bool number(const char* text, long lo, long hi, long& out) {
    std::string s = text ? text : "";
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && out >= lo && out <= hi;
}

std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream ss(text);
    for (std::string p; std::getline(ss, p, ',');) parts.push_back(p);
    return parts;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bind = "127.0.0.11";
    long port = 0, seconds = 60;
    RelayUdpEmulator::Script script;
    std::vector<std::vector<std::string>> devices;
    std::vector<std::vector<std::string>> known;
    long tcpPort = -1;
    if (!lumora::Log::configureFromEnvironment())
        return usageError("LUMORA_LOG must be trace, debug, info, warn, error or off");
    enum { kBind = 256, kPort, kSeconds, kSilent, kOtherPort, kAnswerBytes, kDevice, kTcpPort, kKnown };
    static const option table[] = {
        {"bind", required_argument, nullptr, kBind},
        {"port", required_argument, nullptr, kPort},
        {"seconds", required_argument, nullptr, kSeconds},
        {"silent", required_argument, nullptr, kSilent},
        {"other-port", no_argument, nullptr, kOtherPort},
        {"answer-bytes", required_argument, nullptr, kAnswerBytes},
        {"device", required_argument, nullptr, kDevice},
        {"tcp-port", required_argument, nullptr, kTcpPort},
        {"known", required_argument, nullptr, kKnown},
        {"verbose", no_argument, nullptr, 'v'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    long n = 0;
    for (int c; (c = getopt_long(argc, argv, "+:vqhV", table, nullptr)) != -1;) {
        const std::string word = argv[optind - 1] ? argv[optind - 1] : "";
        switch (c) {
            case kBind: bind = optarg; break;
            case kPort:
                if (!number(optarg, 0, 65535, port)) return usageError("--port wants 0 to 65535");
                break;
            case kSeconds:
                if (!number(optarg, 1, 86400, seconds)) return usageError("--seconds wants 1 to 86400");
                break;
            case kSilent:
                if (!number(optarg, 0, 1000000, n)) return usageError("--silent wants 0 to 1000000");
                script.silentFor = static_cast<int>(n);
                break;
            case kOtherPort: script.answerFromOtherPort = true; break;
            case kAnswerBytes:
                if (!number(optarg, 0, 65535, n)) return usageError("--answer-bytes wants 0 to 65535");
                script.answerBytes = static_cast<int>(n);
                break;
            case kTcpPort:
                if (!number(optarg, 0, 65535, tcpPort)) return usageError("--tcp-port wants 0 to 65535");
                break;
            case kKnown: {
                auto parts = fields(optarg);
                long mode = 0, p = 0;
                if (parts.size() != 4 || !number(parts[1].c_str(), 0, 0xFFFFFFFFL, mode) ||
                    !number(parts[3].c_str(), 0, 65535, p))
                    return usageError("--known wants UID,MODE,ADDR,PORT with a port from 0 to 65535");
                known.push_back(parts);
                break;
            }
            case kDevice: {
                auto parts = fields(optarg);
                long p = 0;
                if (parts.size() != 4 || !number(parts[3].c_str(), 0, 65535, p))
                    return usageError("--device wants UID,EXTADDR,INNERADDR,INNERPORT with a port from 0 to 65535");
                devices.push_back(parts);
                break;
            }
            case 'v': lumora::Log::setLevel(lumora::Log::Level::Info); break;
            case 'q': lumora::Log::setLevel(lumora::Log::Level::Error); break;
            case 'h': std::fputs(kHelp, stdout); return 0;
            case 'V': std::printf("relay-emulator %s\n", LUMORA_VERSION); return 0;
            case ':': return usageError(word + " needs a value");
            default: return usageError("unknown option " + word);
        }
    }
    if (optind < argc) return usageError(std::string("unexpected argument \"") + argv[optind] + "\"");
    if (!known.empty() && tcpPort < 0) return usageError("--known needs --tcp-port");
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
    if (tcpPort >= 0) {
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
