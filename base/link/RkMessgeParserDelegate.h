#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/link/RkMessageBuilder.h"

namespace lumora {

class RkMessageParser;

// Receives the replies RkMessageParser reads, one callback per reply type.
// Every callback is optional: the default bodies do nothing, so a reply whose
// callback a delegate does not override is consumed without effect. Texts
// are the fields' contents up to their first zero byte, never beyond the
// field. Callbacks run on the thread that called parseMsgData.
class RkMessgeParserDelegate {
public:
    virtual ~RkMessgeParserDelegate() = default;

    // 0xA01E, the extended answer to an open request. udpServerIp and
    // udpServerPort are always "" and 0.
    virtual void tolvOpenVSConnResponseFromParser3(RkMessageParser& /*parser*/, int /*queryResult*/,
                                                   const std::string& /*address*/, uint16_t /*port*/,
                                                   uint32_t /*connectionId*/, const RkDeviceId& /*deviceId*/,
                                                   int /*connectMode*/, const std::string& /*intAddress*/,
                                                   uint16_t /*intPort*/, const std::string& /*udpServerIp*/,
                                                   uint16_t /*udpServerPort*/) {}

    // 0xA002, the answer to 0xA017, 0xA019 and 0xA013. queryResult 0: the
    // device is known to this server.
    virtual void tolvOpenVSConnResponseFromParser(RkMessageParser& /*parser*/, int /*queryResult*/,
                                                  const std::string& /*address*/, uint16_t /*port*/,
                                                  uint32_t /*connectionId*/, const RkDeviceId& /*deviceId*/,
                                                  int /*connectMode*/) {}

    // 0xA006, the answer to a status query.
    virtual void tolvQueryVSStatusResponseFromParser(RkMessageParser& /*parser*/, const RkDeviceId& /*deviceId*/,
                                                     uint8_t /*status*/,
                                                     const std::array<uint8_t, 3>& /*reserved*/) {}

    // 0xA004, the answer to a close request.
    virtual void tolvCloseVSConnResponseFromParser(RkMessageParser& /*parser*/, uint32_t /*connectionId*/,
                                                   const RkDeviceId& /*deviceId*/) {}

    // 0xA008, a device's LAN search answer. udtPort 0 or 0xFFFF: the device
    // offers no UDT.
    virtual void tolvSearchDeviceResponseFromParser(RkMessageParser& /*parser*/, const RkDeviceId& /*deviceId*/,
                                                    uint16_t /*udtPort*/, const std::string& /*address*/,
                                                    uint16_t /*tcpPort*/) {}

    // 0x2003, the answer to a UDT address query.
    virtual void tolvGetUDTResponseFromParser(RkMessageParser& /*parser*/, const RkDeviceId& /*deviceId*/,
                                              const std::string& /*address*/, uint16_t /*port*/,
                                              uint32_t /*connectionId*/) {}

    // 0x2011, both ends' addresses for hole punching.
    virtual void tolvGetTAddrResponseFromParser(RkMessageParser& /*parser*/, const RkDeviceId& /*deviceId*/,
                                                const std::string& /*extAddr*/, uint16_t /*extPort*/,
                                                const std::string& /*innerAddr*/, uint16_t /*innerPort*/,
                                                const std::string& /*selfAddr*/, uint16_t /*selfPort*/) {}

    // 0x1008, a punch datagram from the peer; always ok = true with the
    // sender given to parseMsgData.
    virtual void tolvGetUDPHoleRes(bool /*ok*/, const std::string& /*ip*/, int /*port*/) {}

    // Declared for delegates; the parser never sends it.
    virtual void tolvDidFailedGetUDTResponse() {}
};

}  // namespace lumora
