#include "platform/net/NetlinkReachabilityProvider.h"

#include <arpa/inet.h>
#include <fnmatch.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

namespace rf = reachability_flags;

namespace {

// A descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::atomic<uint32_t> gSequence{1};

// What a route look-up found.
struct Route {
    bool found = false;      // a route answered the look-up
    bool usable = false;     // unicast or local, link not down
    bool local = false;      // the target is an address of this host
    bool hasGateway = false;
    int outputInterface = 0;
};

// Parses the attributes of one RTM_NEWROUTE message into route.
void parseRoute(const nlmsghdr* nh, Route& route) {
    const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(nh));
    route.found = true;
    route.usable = (rt->rtm_type == RTN_UNICAST || rt->rtm_type == RTN_LOCAL) && !(rt->rtm_flags & RTNH_F_LINKDOWN) &&
                   !(rt->rtm_flags & RTNH_F_DEAD);
    route.local = rt->rtm_type == RTN_LOCAL;
    int len = static_cast<int>(RTM_PAYLOAD(nh));
    for (const rtattr* a = RTM_RTA(rt); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
        switch (a->rta_type) {
            case RTA_OIF:
                if (RTA_PAYLOAD(a) >= sizeof(int)) std::memcpy(&route.outputInterface, RTA_DATA(a), sizeof(int));
                break;
            case RTA_GATEWAY:
            case RTA_VIA:
                route.hasGateway = true;
                break;
            case RTA_MULTIPATH: {
                // Take the first next hop.
                if (RTA_PAYLOAD(a) < sizeof(rtnexthop)) break;
                const auto* nhop = static_cast<const rtnexthop*>(RTA_DATA(a));
                if (nhop->rtnh_len < sizeof(rtnexthop) || nhop->rtnh_len > RTA_PAYLOAD(a)) break;
                route.outputInterface = nhop->rtnh_ifindex;
                if (nhop->rtnh_flags & (RTNH_F_LINKDOWN | RTNH_F_DEAD)) route.usable = false;
                int nlen = static_cast<int>(nhop->rtnh_len - sizeof(rtnexthop));
                for (const rtattr* na = RTNH_DATA(nhop); RTA_OK(na, nlen); na = RTA_NEXT(na, nlen))
                    if (na->rta_type == RTA_GATEWAY || na->rta_type == RTA_VIA) route.hasGateway = true;
                break;
            }
            default:
                break;
        }
    }
}

uint32_t routeTableOf(const nlmsghdr* nh) {
    const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(nh));
    uint32_t table = rt->rtm_table;
    int len = static_cast<int>(RTM_PAYLOAD(nh));
    for (const rtattr* a = RTM_RTA(rt); RTA_OK(a, len); a = RTA_NEXT(a, len))
        if (a->rta_type == RTA_TABLE && RTA_PAYLOAD(a) >= sizeof(uint32_t)) std::memcpy(&table, RTA_DATA(a), 4);
    return table;
}

uint32_t priorityOf(const nlmsghdr* nh) {
    const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(nh));
    uint32_t prio = 0;
    int len = static_cast<int>(RTM_PAYLOAD(nh));
    for (const rtattr* a = RTM_RTA(rt); RTA_OK(a, len); a = RTA_NEXT(a, len))
        if (a->rta_type == RTA_PRIORITY && RTA_PAYLOAD(a) >= sizeof(uint32_t)) std::memcpy(&prio, RTA_DATA(a), 4);
    return prio;
}

int openRouteSocket() {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return -1;
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

bool sendRequest(int fd, nlmsghdr* nh) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t n = ::sendto(fd, nh, nh->nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    return n == static_cast<ssize_t>(nh->nlmsg_len);
}

// Sends one request and hands every reply message of its sequence to the
// visitor until the kernel says done (dump) or one answer came (single).
// False when the socket failed; an NLMSG_ERROR answer is handed to the
// visitor like any other message.
template <class Visitor>
bool exchange(nlmsghdr* request, bool dump, Visitor&& visit) {
    Fd fd(openRouteSocket());
    if (fd.get() < 0) return false;
    uint32_t seq = gSequence.fetch_add(1);
    request->nlmsg_seq = seq;
    if (!sendRequest(fd.get(), request)) return false;
    std::vector<char> buffer(32768);
    while (true) {
        ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size(), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        int len = static_cast<int>(n);
        for (auto* nh = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(nh, len); nh = NLMSG_NEXT(nh, len)) {
            if (nh->nlmsg_seq != seq) continue;
            if (nh->nlmsg_type == NLMSG_DONE) return true;
            visit(nh);
            if (!dump || nh->nlmsg_type == NLMSG_ERROR) return true;
        }
    }
}

struct RouteRequest {
    nlmsghdr nh;
    rtmsg rt;
    char attributes[64];
};

// Route to one IPv4 address, as the kernel would choose it now.
std::optional<Route> routeTo(in_addr address) {
    RouteRequest req{};
    req.nh.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    req.nh.nlmsg_type = RTM_GETROUTE;
    req.nh.nlmsg_flags = NLM_F_REQUEST;
    req.rt.rtm_family = AF_INET;
    req.rt.rtm_dst_len = 32;
    auto* a = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&req) + NLMSG_ALIGN(req.nh.nlmsg_len));
    a->rta_type = RTA_DST;
    a->rta_len = RTA_LENGTH(sizeof(in_addr));
    std::memcpy(RTA_DATA(a), &address, sizeof(in_addr));
    req.nh.nlmsg_len = NLMSG_ALIGN(req.nh.nlmsg_len) + RTA_ALIGN(a->rta_len);

    Route route;
    bool failed = false;
    bool ok = exchange(&req.nh, false, [&](const nlmsghdr* nh) {
        if (nh->nlmsg_type == NLMSG_ERROR) {
            const auto* err = static_cast<const nlmsgerr*>(NLMSG_DATA(nh));
            int e = -err->error;
            // No route (or no such network) is an answer; anything else is not.
            if (e != ENETUNREACH && e != EHOSTUNREACH && e != ENETDOWN && e != EINVAL && e != EACCES &&
                e != EPERM)
                failed = true;
            return;
        }
        if (nh->nlmsg_type == RTM_NEWROUTE) parseRoute(nh, route);
    });
    if (!ok || failed) return std::nullopt;
    return route;
}

// The default route of the main table with the lowest metric.
std::optional<Route> defaultRoute() {
    RouteRequest req{};
    req.nh.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    req.nh.nlmsg_type = RTM_GETROUTE;
    req.nh.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.rt.rtm_family = AF_INET;

    Route best;
    uint32_t bestPriority = 0;
    bool ok = exchange(&req.nh, true, [&](const nlmsghdr* nh) {
        if (nh->nlmsg_type != RTM_NEWROUTE) return;
        const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(nh));
        if (rt->rtm_family != AF_INET || rt->rtm_dst_len != 0 || routeTableOf(nh) != RT_TABLE_MAIN) return;
        Route r;
        parseRoute(nh, r);
        if (!r.usable) return;
        uint32_t prio = priorityOf(nh);
        if (!best.found || prio < bestPriority) {
            best = r;
            bestPriority = prio;
        }
    });
    if (!ok) return std::nullopt;
    return best;
}

bool interfaceIsUp(int index, std::string& name) {
    char buf[IF_NAMESIZE] = {0};
    if (!if_indextoname(static_cast<unsigned>(index), buf)) return false;
    name = buf;
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    ifreq ifr{};
    std::memcpy(ifr.ifr_name, buf, sizeof ifr.ifr_name);
    if (::ioctl(fd.get(), SIOCGIFFLAGS, &ifr) < 0) return false;
    return (ifr.ifr_flags & IFF_UP) != 0;
}

}  // namespace

NetlinkReachabilityProvider::~NetlinkReachabilityProvider() {
    std::thread watcher;
    int stopFd;
    {
        std::lock_guard<std::mutex> g(lock_);
        watcher = std::move(watcher_);
        stopFd = stopFd_;
        stopFd_ = -1;
    }
    if (stopFd >= 0) {
        uint64_t one = 1;
        ssize_t n = ::write(stopFd, &one, sizeof one);
        (void)n;
    }
    if (watcher.joinable()) {
        if (watcher.get_id() == std::this_thread::get_id())
            watcher.detach();  // dropped by one of its own listeners
        else
            watcher.join();
    }
    if (stopFd >= 0) ::close(stopFd);
}

bool NetlinkReachabilityProvider::isCellularInterface(const std::string& name) {
    const std::string& list = Config::shared().cellularInterfaces;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string pattern = list.substr(start, end - start);
        size_t b = pattern.find_first_not_of(" \t");
        size_t e = pattern.find_last_not_of(" \t");
        if (b != std::string::npos) {
            pattern = pattern.substr(b, e - b + 1);
            if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0) return true;
        }
        start = end + 1;
    }
    return false;
}

std::optional<uint32_t> NetlinkReachabilityProvider::flagsForAddress(const sockaddr_in& address) {
    if (address.sin_family != AF_INET) return std::nullopt;
    std::optional<Route> route =
        address.sin_addr.s_addr == htonl(INADDR_ANY) ? defaultRoute() : routeTo(address.sin_addr);
    if (!route) return std::nullopt;
    if (!route->found || !route->usable) return 0u;
    std::string name;
    if (route->outputInterface > 0 && !interfaceIsUp(route->outputInterface, name)) return 0u;
    uint32_t flags = rf::kReachable;
    if (!route->hasGateway) flags |= rf::kIsDirect;
    if (route->local) flags |= rf::kIsLocalAddress;
    if (!name.empty() && isCellularInterface(name)) flags |= rf::kIsWWAN;
    return flags;
}

std::optional<uint32_t> NetlinkReachabilityProvider::flagsForHostName(const std::string& name) {
    if (name.empty()) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0 || !result) {
        if (result) ::freeaddrinfo(result);
        return 0u;  // a name that cannot be looked up is not reachable
    }
    sockaddr_in address{};
    std::memcpy(&address, result->ai_addr, sizeof address);
    ::freeaddrinfo(result);
    return flagsForAddress(address);
}

void NetlinkReachabilityProvider::listenersChanged(size_t count) {
    if (count == 0) return;
    std::lock_guard<std::mutex> g(lock_);
    if (watcher_.joinable()) return;
    // Subscribe before returning, so that a change right after the first
    // listener came (and after its first reading) is not missed.
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        Log::warn("reachability", "cannot open netlink socket: %s", std::strerror(errno));
        return;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        Log::warn("reachability", "cannot watch netlink: %s", std::strerror(errno));
        ::close(fd);
        return;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        Log::warn("reachability", "cannot create eventfd: %s", std::strerror(errno));
        ::close(fd);
        return;
    }
    watcher_ = std::thread([this, fd, stopFd = stopFd_] { watch(fd, stopFd); });
}

void NetlinkReachabilityProvider::watch(int subscribedFd, int stopFd) {
    Fd fd(subscribedFd);
    std::vector<char> buffer(32768);
    while (true) {
        pollfd fds[2] = {{fd.get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & (POLLIN | POLLERR))) continue;
        // Drain the whole burst, then report once.
        bool changed = false;
        while (true) {
            ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size(), 0);
            if (n > 0) {
                changed = true;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == ENOBUFS) {  // messages were lost: something changed
                changed = true;
                continue;
            }
            break;
        }
        if (changed) notifyChange();
    }
}

}  // namespace lumora
