#pragma once

#include <string>

namespace lumora {

// What a failure means, independent of the numbers one system gives it.
enum class ErrorMeaning {
    None,
    WouldBlock,        // try again later (EAGAIN / EWOULDBLOCK / EINPROGRESS)
    Interrupted,       // EINTR
    Refused,           // nothing listens there
    HostNotFound,      // name look-up found no such host
    NetworkUnreachable,
    TimedOut,
    ConnectionReset,   // the peer dropped the link
    NotConnected,
    AddressInUse,
    BadDescriptor,
    InvalidArgument,
    PermissionDenied,
    Other,
};

// One error value for the whole system: a short domain text plus a numeric
// code, with a human-readable description. Domains and codes that the system
// defines are listed in ErrorCodes.h.
struct Error {
    std::string domain;
    long code = 0;
    std::string description;

    Error() = default;
    Error(std::string domain, long code, std::string description = {})
        : domain(std::move(domain)), code(code), description(std::move(description)) {}

    // A system-call failure: domain kPosixDomain, the errno value as code,
    // strerror's text as description.
    static Error posix(int err);
    // A name look-up failure from getaddrinfo: domain kNetDbDomain, the EAI_*
    // value as code, gai_strerror's text as description. EAI_SYSTEM is turned
    // into the POSIX error it carries.
    static Error resolver(int eaiCode);

    // Classifies this error by meaning. Works for the POSIX and resolver
    // domains; every other domain answers Other.
    ErrorMeaning meaning() const;

    bool isPosix() const;
    bool empty() const { return domain.empty() && code == 0; }
    bool operator==(const Error& o) const { return domain == o.domain && code == o.code; }

    // "domain code: description", for diagnostics.
    std::string toString() const;

    static constexpr const char* kPosixDomain = "NSPOSIXErrorDomain";
    static constexpr const char* kNetDbDomain = "kCFStreamErrorDomainNetDB";
};

// Classifies an errno value by meaning.
ErrorMeaning errnoMeaning(int err);

}  // namespace lumora
