#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Error.h"

namespace lumora {

class RunLoop;
class StreamSecurity;

// One direction of a stream pair bound to a connected TCP descriptor: the
// read stream or the write stream. Both streams of a pair share the
// descriptor (neither ever closes it) and, once set, one security layer that
// every byte then passes through; the layer's handshake runs by itself on
// the run loop the streams are scheduled on, after which the streams report
// bytes and room as usual.
//
// Events reach the client callback on the thread of the run loop the stream
// is scheduled on, and only for the kinds the client asked for:
// - HasBytesAvailable (read stream): bytes (or the end of the stream) can be
//   read without waiting; reported once, then again only after a read();
// - CanAcceptBytes (write stream): a write() can take bytes; reported once,
//   then again only after a write();
// - ErrorOccurred: error() says why; the stream is unusable;
// - EndEncountered: the peer ended the connection (read stream: the peer
//   closed its side; write stream: the connection is hung up).
// A stream that reported an error or its end reports nothing more.
//
// Thread safety: every call may be made from any thread. Scheduling and
// unscheduling must be made on the run loop's own thread.
class SocketStream : public std::enable_shared_from_this<SocketStream> {
public:
    enum class Kind { Read, Write };
    enum class Status { NotOpen, Open, AtEnd, Closed, Error };
    enum Event : unsigned {
        kEventNone = 0,
        kEventHasBytesAvailable = 1u << 1,
        kEventCanAcceptBytes = 1u << 2,
        kEventErrorOccurred = 1u << 3,
        kEventEndEncountered = 1u << 4,
    };
    using Client = std::function<void(SocketStream& stream, Event event)>;

    // read() and write() answer this when nothing can move yet (a partial
    // secure record, a full send buffer, a handshake still running): wait
    // for the next event.
    static constexpr long kWouldBlock = -2;

    // Creates both streams on a connected descriptor. The descriptor must
    // outlive the streams (or at least their last use).
    static void createPairWithSocket(int fd, std::shared_ptr<SocketStream>* readStream,
                                     std::shared_ptr<SocketStream>* writeStream);

    ~SocketStream();
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    Kind kind() const { return kind_; }
    Status status() const;
    Error error() const;

    // Sets (or, with no events or an empty callback, clears) the client.
    // False once the stream is closed.
    bool setClient(unsigned events, Client client);

    // Watches the descriptor on the loop. Call on the loop's own thread; a
    // stream is scheduled on at most one loop at a time.
    bool scheduleInRunLoop(RunLoop& loop);
    void unscheduleFromRunLoop(RunLoop& loop);

    // NotOpen -> Open. False for a stream that was already opened or closed.
    bool open();
    // Stops all events; a closed stream cannot be reopened.
    void close();

    // Installs the security layer for both streams of the pair; it is
    // attached to the descriptor now and its handshake starts once a stream
    // of the pair is open and scheduled. False when the pair already has a
    // layer, when this stream was closed or failed, or when attaching fails.
    bool setSecurity(std::shared_ptr<StreamSecurity> layer);
    bool isSecure() const;

    // Read stream: a read() would not wait (bytes, or the end, are there).
    bool hasBytesAvailable();
    // Bytes read (> 0), 0 at the end of the stream, -1 on error (see
    // error()), or kWouldBlock.
    long read(uint8_t* buffer, size_t length);

    // Write stream: a write() would take bytes now.
    bool canAcceptBytes();
    // Bytes taken (>= 0), -1 on error, or kWouldBlock.
    long write(const uint8_t* buffer, size_t length);

private:
    struct Pair;
    SocketStream(Kind kind, std::shared_ptr<Pair> pair);

    // All below run on the scheduled loop's thread.
    void refresh();
    void onReady(short revents);
    void driveHandshake();

    const Kind kind_;
    std::shared_ptr<Pair> pair_;
};

}  // namespace lumora
