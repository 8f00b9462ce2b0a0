#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumora::devemu {

// One accepted link, TCP or UDT, as a session sees it. receive and sendAll
// run on the session's thread; interrupt may be called from any thread to
// wake them (the emulator stopping).
class EmulatorTransport {
public:
    virtual ~EmulatorTransport() = default;
    // "tcp 127.0.0.1:40000" and the like.
    virtual std::string describe() const = 0;
    // More than 0: bytes read; 0: nothing within timeoutMs; below 0: the link
    // was closed or failed.
    virtual int receive(uint8_t* buffer, size_t capacity, int timeoutMs) = 0;
    virtual bool sendAll(const uint8_t* data, size_t size) = 0;
    // Ends the link; reset drops it without an orderly close (TCP RST).
    virtual void close(bool reset) = 0;
    virtual void interrupt() = 0;
};

// A listening socket of either kind.
class EmulatorListener {
public:
    virtual ~EmulatorListener() = default;
    virtual uint16_t port() const = 0;
    // The next link, or nothing when none arrived within timeoutMs.
    virtual std::unique_ptr<EmulatorTransport> accept(int timeoutMs) = 0;
};

// Listeners bound to exactly host:port (port 0: any free port). Nothing and a
// reason when that fails.
std::unique_ptr<EmulatorListener> openTcpListener(const std::string& host, uint16_t port, std::string& error);
std::unique_ptr<EmulatorListener> openUdtListener(const std::string& host, uint16_t port, std::string& error);

}  // namespace lumora::devemu
