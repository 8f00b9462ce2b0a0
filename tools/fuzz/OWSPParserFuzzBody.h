#pragma once

// One fuzz iteration for the device message parser, shared by the libFuzzer
// target (owsp_parser_fuzz.cpp) and the deterministic mutation test that runs
// in every normal and sanitizer build. The input is treated as bytes from a
// device in several ways: as a stream cut into uneven chunks, as one packet
// whose records are walked directly (at main versions 5 and 3), and as the
// texts the helper functions read. A delegate reads every byte of every
// frame it is given, so an over-read shows under AddressSanitizer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "app/core/Device.h"
#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageParser.h"

namespace lumora::fuzz {

class TouchingClient : public DeviceClientDelegate {
public:
    uint64_t sum = 0;
    bool implementsDidReceiveVideoFrame() const override { return true; }
    bool implementsDidReceiveAudioFrame() const override { return true; }
    void deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> f, int32_t) override { touch(*f); }
    void deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame> f, int32_t) override { touch(*f); }
    void deviceDidReceiveDeviceInfo(Device*, const _TLV_V_DeviceInfo& i, int32_t) override {
        sum += i.companyIdentity.str().size() + i.softwareVersion.str().size();
    }
    void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo& f, int32_t) override { sum += f.fileName.str().size(); }
    void deviceFailedLogin(Device*, const Error& e) override { sum += static_cast<uint64_t>(e.code); }

private:
    void touch(const MediaFrame& f) {
        // The frame claims to be complete: its bytes must all be there.
        if (f.buffer.size() != f.frameLength) __builtin_trap();
        for (uint8_t b : f.buffer) sum += b;
    }
};

class FuzzLink : public OWSPLink {
public:
    std::shared_ptr<TouchingClient> receiver = std::make_shared<TouchingClient>();
    MediaFrame assembly;
    std::shared_ptr<DeviceClientDelegate> client() const override { return receiver; }
    MediaFrame& frame() override { return assembly; }
    int32_t tag() const override { return 1; }
};

inline void feedStream(std::span<const uint8_t> input, size_t chunkSeed) {
    OWSPMessageParser parser;
    FuzzLink link;
    std::vector<uint8_t> buffer;
    size_t at = 0, step = 0;
    while (at < input.size()) {
        size_t chunk = 1 + ((chunkSeed + step * 7919) % 4096);
        if (chunk > input.size() - at) chunk = input.size() - at;
        buffer.insert(buffer.end(), input.begin() + at, input.begin() + at + chunk);
        at += chunk;
        ++step;
        int32_t used = parser.parseMessage(buffer, nullptr, &link);
        if (used > 0) {
            if (size_t(used) > buffer.size()) __builtin_trap();
            buffer.erase(buffer.begin(), buffer.begin() + used);
        } else if (used < 0) {
            buffer.clear();
        }
    }
}

inline void walkAsPacket(std::span<const uint8_t> input, bool extendedVersion) {
    OWSPMessageParser parser;
    FuzzLink link;
    if (extendedVersion) {
        // Version 3.0: type 101 becomes extended frame information.
        static const uint8_t v3[] = {0, 0, 0, 12, 0, 0, 0, 0, 40, 0, 4, 0, 3, 0, 0, 0};
        parser.parseMessage(v3, nullptr, &link);
    }
    parser.processOwspMessage(input, nullptr, &link);
    if (input.size() >= 4) parser.parseTLV(input, nullptr, &link, 0);
}

inline int fuzzOwspParser(const uint8_t* data, size_t size) {
    std::span<const uint8_t> input(data, size);
    feedStream(input, size);
    feedStream(input, 0);  // a second, different chunking
    walkAsPacket(input, false);
    walkAsPacket(input, true);
    OWSPMessageParser::isLoginData(input);
    static Device* device = new Device();  // one for the process: its id counter is global
    OWSPMessageParser::parseDomainServerResponse(input.first(size < 512 ? size : 512), *device);
    return 0;
}

}  // namespace lumora::fuzz
