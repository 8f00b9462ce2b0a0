#include "platform/Error.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace lumora {

Error Error::posix(int err) {
    return Error(kPosixDomain, err, std::strerror(err));
}

Error Error::resolver(int eaiCode) {
    if (eaiCode == EAI_SYSTEM) return posix(errno);
    return Error(kNetDbDomain, eaiCode, gai_strerror(eaiCode));
}

bool Error::isPosix() const { return domain == kPosixDomain; }

ErrorMeaning errnoMeaning(int err) {
    switch (err) {
        case 0: return ErrorMeaning::None;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINPROGRESS:
        case EALREADY: return ErrorMeaning::WouldBlock;
        case EINTR: return ErrorMeaning::Interrupted;
        case ECONNREFUSED: return ErrorMeaning::Refused;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case EHOSTDOWN: return ErrorMeaning::NetworkUnreachable;
        case ETIMEDOUT: return ErrorMeaning::TimedOut;
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE: return ErrorMeaning::ConnectionReset;
        case ENOTCONN: return ErrorMeaning::NotConnected;
        case EADDRINUSE:
        case EADDRNOTAVAIL: return ErrorMeaning::AddressInUse;
        case EBADF:
        case ENOTSOCK: return ErrorMeaning::BadDescriptor;
        case EINVAL:
        case EAFNOSUPPORT: return ErrorMeaning::InvalidArgument;
        case EACCES:
        case EPERM: return ErrorMeaning::PermissionDenied;
        default: return ErrorMeaning::Other;
    }
}

ErrorMeaning Error::meaning() const {
    if (domain == kPosixDomain) return errnoMeaning(static_cast<int>(code));
    if (domain == kNetDbDomain) {
        switch (code) {
            case EAI_NONAME:
#ifdef EAI_NODATA
            case EAI_NODATA:
#endif
            case EAI_FAIL: return ErrorMeaning::HostNotFound;
            case EAI_AGAIN: return ErrorMeaning::WouldBlock;
            case EAI_FAMILY:
            case EAI_BADFLAGS:
            case EAI_SERVICE: return ErrorMeaning::InvalidArgument;
            default: return ErrorMeaning::Other;
        }
    }
    return ErrorMeaning::Other;
}

std::string Error::toString() const {
    std::string s = domain + " " + std::to_string(code);
    if (!description.empty()) s += ": " + description;
    return s;
}

}  // namespace lumora
