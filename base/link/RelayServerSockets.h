#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumora {

// The peer-to-peer client's TCP sockets to the four relay/look-up servers
// (Config relayHosts, relayTcpPort): one opened to each server at start-up,
// kept until the set goes, and the current socket requests go over, which an
// attempt may replace by one of its own. Releasing the set closes them all.
// Thread-safe.
class RelayServerSockets {
public:
    RelayServerSockets() = default;
    ~RelayServerSockets();
    RelayServerSockets(const RelayServerSockets&) = delete;
    RelayServerSockets& operator=(const RelayServerSockets&) = delete;

    // Server `index` (0..3; any other index names server 4) of the configuration.
    static const std::string& host(int index);
    // 0..2 for the first three servers; any other host counts as server 4 (3).
    static int indexOf(const std::string& host);
    // A blocking TCP socket to the server's relay port, or 0.
    static int connect(const std::string& host);

    // Opens one socket to each server on the global queue and hands them to
    // `sockets` (adoptStartup); sockets opened once the set is gone are
    // closed. The host names are read on the calling thread.
    static void connectAll(const std::shared_ptr<RelayServerSockets>& sockets);
    // Takes the start-up sockets; the first becomes current unless an
    // attempt already made a socket of its own current.
    void adoptStartup(const std::array<int, 4>& fds);
    // Makes `fd` current; the socket before is closed unless it is a
    // start-up socket.
    void replaceCurrent(int fd);
    int current() const;
    int startup(int index) const;  // 0 .. 3; 0 for any other index

    // One request to a server and the wait for its answer.
    struct Request {
        std::vector<uint8_t> msg;
        int sendMs = 0;
        // Where to connect anew when sending fails (the new socket made
        // current, the request sent once more over it).
        std::string retryHost;
        // Connect to retryHost first instead of using the current socket.
        bool freshSocket = false;
        // The waits for the answer, one after another, until bytes arrive.
        std::vector<int> receiveMs;
    };
    // The requests of a connect attempt for the device `uid`, with their
    // time-outs: where the device is and how to reach it (to `host`), and
    // another path once the UDT path (over a fresh socket to `host`) or the
    // TCP path (to server 1) failed.
    static Request openRequest(const std::string& uid, const std::string& host);
    static Request udtFailedRequest(const std::string& uid, const std::string& host);
    static Request tcpFailedRequest(const std::string& uid);
    enum class Reply {
        kNoSocket,   // no new socket could be opened
        kNotSent,    // the request could not be sent over the new socket either
        kNoAnswer,   // the last wait found the socket closed or failed without a time-out
        kTimedOut,   // the last wait timed out
        kAnswered,
    };
    struct Answer {
        Reply reply = Reply::kNoAnswer;
        std::vector<uint8_t> bytes;  // kAnswered: the answer buffer
        int length = 0;              // kAnswered: the bytes received in it
    };
    // Blocks the caller.
    Answer ask(const Request& request);

    // Sends a whole request: its size, 0 when cut short, < 0 on failure
    // (-1 without a socket).
    static int send(int fd, const std::vector<uint8_t>& msg, int ms);
    // Reads one answer into `buf` (resized to the answer buffer's size): the
    // bytes read, 0 without a socket, < 0 on time-out or failure.
    static int receive(int fd, std::vector<uint8_t>& buf, int ms);

private:
    mutable std::mutex mutex_;
    int current_ = 0;
    std::array<int, 4> startup_{0, 0, 0, 0};
};

}  // namespace lumora
