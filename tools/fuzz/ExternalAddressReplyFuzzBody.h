#pragma once

// One fuzz iteration for the reply of the external-address look-up page (GB
// 18030 text with the address between the only "[" and the next "]"),
// shared by the libFuzzer target (external_address_reply_fuzz.cpp) and the
// seed test of the normal build. What comes out becomes a field of a
// comma-separated LAN hint: empty, or a dotted IPv4 address and nothing else.

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/QvApplicationPreference.h"

namespace lumora::fuzz {

inline int fuzzExternalAddressReply(const uint8_t* data, size_t size) {
    if (size > QvApplicationPreference::kMaxReplyBytes) return 0;  // the look-up reads no more
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::string address = QvApplicationPreference::addressFromReply(body);
    if (!address.empty()) {
        in_addr parsed{};
        if (address.size() > 15 || ::inet_pton(AF_INET, address.c_str(), &parsed) != 1) __builtin_trap();
        if (body.find(address) == std::string::npos) __builtin_trap();
    }
    return 0;
}

}  // namespace lumora::fuzz
