#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessgeParserDelegate.h"

namespace lumora {

// Reads the replies of the relay/look-up servers and the LAN search answers
// and hands each one, as typed fields, to its delegate.
//
// Guarantees: no byte beyond the data given is ever read (a reply shorter
// than its layout is "not whole yet"); fixed-width text fields are read up to
// their first zero byte and never beyond their width, so a field without a
// terminator is safe. It does not check that field contents make sense.
//
// Not thread-safe: one owner calls it. The delegate is not owned; it must
// outlive the parser or be cleared (setDelegate(nullptr)) before it goes.
class RkMessageParser {
public:
    // parseMsgData's answer for a type it does not know: larger than any
    // receive buffer, so a consumer that removes that many bytes clears it.
    static constexpr int kUnknownType = 102400;
    // Only this much of the data is looked at in one call.
    static constexpr size_t kWorkBufferSize = 1024;

    RkMessgeParserDelegate* delegate() const { return delegate_; }
    void setDelegate(RkMessgeParserDelegate* delegate) { delegate_ = delegate; }

    // Handles the first message in the data. Answers the bytes it occupies
    // (> 0: one whole message, handled), 0 when the data do not yet hold a
    // whole message, kUnknownType for a type it does not know. fromIp and
    // fromPort name the sender (they reach the punch callback).
    int parseMsgData(std::span<const uint8_t> data, const std::string& fromIp, int fromPort);

    // The field readers, one per reply type; each takes the payload (the
    // bytes after the 4-byte header) and answers false, leaving the outputs
    // untouched, when the payload is shorter than the reply's layout.

    // 0xA002 / 0xA01E (offsets 0 to 77). queryResult 0: known to this server.
    static bool parseOpenVSConnResponse(std::span<const uint8_t> payload, int& queryResult, std::string& ip,
                                        uint16_t& port, uint32_t& connectionId, RkDeviceId& deviceId,
                                        int& connectionMode);
    static bool parseQueryVSStatusResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId, uint8_t& status,
                                           std::array<uint8_t, 3>& reserved);
    static bool parseCloseVSConnResponse(std::span<const uint8_t> payload, uint32_t& connectionId,
                                         RkDeviceId& deviceId);
    static bool parseSearchDeviceResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId,
                                          uint16_t& udtPort, std::string& addr, uint16_t& tcpPort);
    static bool parseGetUDTAddrResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId, std::string& addr,
                                        uint16_t& port, uint32_t& connectionId);
    static bool parseGetTAddrResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId,
                                      std::string& extAddr, uint16_t& extPort, std::string& innerAddr,
                                      uint16_t& innerPort, std::string& selfAddr, uint16_t& selfPort);

    // Payload size each reply type needs, and the bytes it occupies; -1 for
    // a type this protocol does not have as a reply.
    static int minimumPayload(uint16_t type);
    static int consumedSize(uint16_t type);

private:
    RkMessgeParserDelegate* delegate_ = nullptr;  // Not owned.
};

}  // namespace lumora
