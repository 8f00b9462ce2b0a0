#pragma once

#include <stdexcept>
#include <string>

namespace lumora {

// Raised by AsyncUdpSocket when it is used in a way its state forbids
// (binding twice, connecting a closed socket, ...): a programming error of
// the caller, not a network failure.
class AsyncUdpSocketException : public std::logic_error {
public:
    static constexpr const char* kName = "AsyncUdpSocketException";

    explicit AsyncUdpSocketException(const std::string& reason) : std::logic_error(reason) {}
    const char* name() const { return kName; }
};

}  // namespace lumora
