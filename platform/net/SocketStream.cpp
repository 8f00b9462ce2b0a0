#include "platform/net/SocketStream.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/runloop/RunLoop.h"
#include "platform/net/StreamSecurity.h"

namespace lumora {

namespace {

constexpr short kNoWatch = -1;

bool descriptorReady(int fd, short events) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (events | POLLERR | POLLHUP)) != 0;
}

bool isRetry(int err) {
    ErrorMeaning m = errnoMeaning(err);
    return m == ErrorMeaning::WouldBlock || m == ErrorMeaning::Interrupted;
}

}  // namespace

// State shared by the two streams of a pair; one lock guards all of it.
struct SocketStream::Pair {
    explicit Pair(int descriptor) : fd(descriptor) {}

    enum class Handshake { None, Pending, Running, Done, Failed };

    struct Side {
        Status status = Status::NotOpen;
        Error error;
        unsigned events = 0;
        std::shared_ptr<Client> client;
        bool armed = true;  // the next HasBytes / CanAccept may be reported
        RunLoop* loop = nullptr;
        uint64_t watcher = 0;
        short watched = kNoWatch;
    };

    struct Note {
        std::shared_ptr<SocketStream> stream;
        std::shared_ptr<Client> client;
        Event event;
    };

    Side& side(Kind k) { return sides[k == Kind::Read ? 0 : 1]; }

    // Calls the clients, outside the lock.
    static void deliver(const std::vector<Note>& notes) {
        for (const auto& n : notes) {
            if (n.client && *n.client) (*n.client)(*n.stream, n.event);
        }
    }

    std::mutex mutex;
    const int fd;
    std::shared_ptr<StreamSecurity> security;
    Handshake handshake = Handshake::None;
    short handshakeWants = 0;
    Side sides[2];
    std::weak_ptr<SocketStream> streams[2];
};

void SocketStream::createPairWithSocket(int fd, std::shared_ptr<SocketStream>* readStream,
                                        std::shared_ptr<SocketStream>* writeStream) {
    auto pair = std::make_shared<Pair>(fd);
    std::shared_ptr<SocketStream> r(new SocketStream(Kind::Read, pair));
    std::shared_ptr<SocketStream> w(new SocketStream(Kind::Write, pair));
    pair->streams[0] = r;
    pair->streams[1] = w;
    if (readStream) *readStream = std::move(r);
    if (writeStream) *writeStream = std::move(w);
}

SocketStream::SocketStream(Kind kind, std::shared_ptr<Pair> pair) : kind_(kind), pair_(std::move(pair)) {}

SocketStream::~SocketStream() {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    Pair::Side& s = pair_->side(kind_);
    if (s.loop && s.watched != kNoWatch) s.loop->removeWatcher(s.watcher);
    s.watched = kNoWatch;
    s.loop = nullptr;
}

SocketStream::Status SocketStream::status() const {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    return pair_->side(kind_).status;
}

Error SocketStream::error() const {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    return pair_->side(kind_).error;
}

bool SocketStream::isSecure() const {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    return pair_->security != nullptr;
}

bool SocketStream::setClient(unsigned events, Client client) {
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        if (s.status == Status::Closed) return false;
        if (events == 0 || !client) {
            s.events = 0;
            s.client.reset();
        } else {
            s.events = events;
            s.client = std::make_shared<Client>(std::move(client));
        }
    }
    refresh();
    return true;
}

bool SocketStream::scheduleInRunLoop(RunLoop& loop) {
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        if (s.loop) return s.loop == &loop;
        s.loop = &loop;
    }
    refresh();
    return true;
}

void SocketStream::unscheduleFromRunLoop(RunLoop& loop) {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    Pair::Side& s = pair_->side(kind_);
    if (s.loop != &loop) return;
    if (s.watched != kNoWatch) loop.removeWatcher(s.watcher);
    s.watched = kNoWatch;
    s.loop = nullptr;
}

bool SocketStream::open() {
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        if (s.status != Status::NotOpen) return false;
        s.status = Status::Open;
    }
    refresh();
    return true;
}

void SocketStream::close() {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    Pair::Side& s = pair_->side(kind_);
    if (s.status == Status::Closed) return;
    // Closing the write side of an established secure session says goodbye
    // to the peer, as a plain close would end the stream.
    if (kind_ == Kind::Write && pair_->security && pair_->handshake == Pair::Handshake::Done &&
        s.status == Status::Open) {
        pair_->security->shutdown();
    }
    s.status = Status::Closed;
    s.client.reset();
    s.events = 0;
    if (s.loop && s.watched != kNoWatch) s.loop->removeWatcher(s.watcher);
    s.watched = kNoWatch;
}

bool SocketStream::setSecurity(std::shared_ptr<StreamSecurity> layer) {
    if (!layer) return false;
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Status st = pair_->side(kind_).status;
        if (pair_->security || st == Status::Closed || st == Status::Error) return false;
        if (!layer->attach(pair_->fd)) return false;
        pair_->security = std::move(layer);
        pair_->handshake = Pair::Handshake::Pending;
    }
    for (auto& weak : pair_->streams) {
        if (auto st = weak.lock()) st->refresh();
    }
    return true;
}

bool SocketStream::hasBytesAvailable() {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    Status st = pair_->side(kind_).status;
    if (kind_ != Kind::Read || (st != Status::Open && st != Status::AtEnd)) return false;
    if (pair_->security) {
        if (pair_->handshake != Pair::Handshake::Done) return false;
        if (pair_->security->pending() > 0) return true;
    }
    return descriptorReady(pair_->fd, POLLIN);
}

bool SocketStream::canAcceptBytes() {
    std::lock_guard<std::mutex> lock(pair_->mutex);
    if (kind_ != Kind::Write || pair_->side(kind_).status != Status::Open) return false;
    if (pair_->security && pair_->handshake != Pair::Handshake::Done) return false;
    return descriptorReady(pair_->fd, POLLOUT);
}

long SocketStream::read(uint8_t* buffer, size_t length) {
    long result;
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        if (kind_ != Kind::Read || (s.status != Status::Open && s.status != Status::AtEnd)) {
            if (s.error.empty()) s.error = Error::posix(EBADF);
            return -1;
        }
        if (length == 0) return kWouldBlock;
        if (pair_->security) {
            if (pair_->handshake == Pair::Handshake::Failed) {
                s.error = pair_->security->error();
                return -1;
            }
            if (pair_->handshake != Pair::Handshake::Done) return kWouldBlock;
            size_t n = 0;
            switch (pair_->security->read(buffer, length, &n)) {
                case StreamSecurity::Result::Done: result = static_cast<long>(n); break;
                case StreamSecurity::Result::WantRead:
                case StreamSecurity::Result::WantWrite: result = kWouldBlock; break;
                case StreamSecurity::Result::Closed:
                    s.status = Status::AtEnd;
                    result = 0;
                    break;
                default:
                    s.status = Status::Error;
                    s.error = pair_->security->error();
                    result = -1;
                    break;
            }
        } else {
            ssize_t n = ::recv(pair_->fd, buffer, length, MSG_DONTWAIT);
            if (n > 0) {
                result = static_cast<long>(n);
            } else if (n == 0) {
                s.status = Status::AtEnd;
                result = 0;
            } else if (isRetry(errno)) {
                result = kWouldBlock;
            } else {
                s.status = Status::Error;
                s.error = Error::posix(errno);
                result = -1;
            }
        }
        s.armed = true;
    }
    refresh();
    return result;
}

long SocketStream::write(const uint8_t* buffer, size_t length) {
    long result;
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        if (kind_ != Kind::Write || (s.status != Status::Open && s.status != Status::AtEnd)) {
            if (s.error.empty()) s.error = Error::posix(EBADF);
            return -1;
        }
        if (length == 0) return 0;
        if (pair_->security) {
            if (pair_->handshake == Pair::Handshake::Failed) {
                s.error = pair_->security->error();
                return -1;
            }
            if (pair_->handshake != Pair::Handshake::Done) return kWouldBlock;
            size_t n = 0;
            switch (pair_->security->write(buffer, length, &n)) {
                case StreamSecurity::Result::Done: result = static_cast<long>(n); break;
                case StreamSecurity::Result::WantRead:
                case StreamSecurity::Result::WantWrite: result = kWouldBlock; break;
                default:
                    s.status = Status::Error;
                    s.error = pair_->security->error();
                    result = -1;
                    break;
            }
        } else {
            ssize_t n = ::send(pair_->fd, buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n >= 0) {
                result = static_cast<long>(n);
            } else if (isRetry(errno)) {
                result = kWouldBlock;
            } else {
                s.status = Status::Error;
                s.error = Error::posix(errno);
                result = -1;
            }
        }
        s.armed = true;
    }
    refresh();
    return result;
}

// Brings this stream's descriptor watcher in line with its state. Any
// thread: the run loop's watcher calls are thread-safe, and the pair lock
// keeps the watcher bookkeeping consistent.
void SocketStream::refresh() {
    bool startHandshake = false;
    bool synthesizeBytes = false;
    RunLoop* loop = nullptr;
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        loop = s.loop;
        short want = kNoWatch;
        bool live = s.loop && s.client && s.events != 0 && s.status == Status::Open;
        if (live) {
            const unsigned reports = kEventErrorOccurred | kEventEndEncountered;
            auto* sec = pair_->security.get();
            if (sec && pair_->handshake != Pair::Handshake::Done) {
                if (pair_->handshake == Pair::Handshake::Pending) {
                    pair_->handshake = Pair::Handshake::Running;
                    startHandshake = true;
                }
                if (pair_->handshake == Pair::Handshake::Running) {
                    short w = pair_->handshakeWants;
                    want = kind_ == Kind::Read ? ((w & POLLIN) ? POLLIN | POLLRDHUP : 0) : ((w & POLLOUT) ? POLLOUT : 0);
                }
            } else if (kind_ == Kind::Read) {
                short w = 0;
                if ((s.events & kEventHasBytesAvailable) && s.armed) {
                    if (sec && sec->pending() > 0) synthesizeBytes = true;
                    else w |= POLLIN;
                }
                if (!sec && (s.events & kEventEndEncountered)) w |= POLLRDHUP;
                if (w != 0 || (s.events & reports)) want = w;
            } else {
                short w = 0;
                if ((s.events & kEventCanAcceptBytes) && s.armed) w |= POLLOUT;
                if (w != 0 || (s.events & reports)) want = w;
            }
        }
        if (want != s.watched) {
            if (s.watched != kNoWatch) s.loop->removeWatcher(s.watcher);
            s.watched = kNoWatch;
            if (want != kNoWatch) {
                std::weak_ptr<SocketStream> weak = weak_from_this();
                s.watcher = s.loop->addWatcher(pair_->fd, want, [weak](short revents) {
                    if (auto self = weak.lock()) self->onReady(revents);
                });
                s.watched = want;
            }
        }
    }
    if (!loop) return;
    std::weak_ptr<SocketStream> weak = weak_from_this();
    if (startHandshake) {
        loop->perform([weak] {
            if (auto self = weak.lock()) self->driveHandshake();
        });
    }
    if (synthesizeBytes) {
        // Decrypted bytes wait inside the security layer: the descriptor
        // will not say so, the stream must.
        loop->perform([weak] {
            if (auto self = weak.lock()) self->onReady(POLLIN);
        });
    }
}

void SocketStream::onReady(short revents) {
    std::vector<Pair::Note> notes;
    bool drive = false;
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        Pair::Side& s = pair_->side(kind_);
        if (s.status != Status::Open || !s.loop) return;
        auto self = shared_from_this();
        auto note = [&](Event e) {
            if (s.events & e) notes.push_back(Pair::Note{self, s.client, e});
        };
        if (pair_->security && pair_->handshake != Pair::Handshake::Done) {
            drive = pair_->handshake == Pair::Handshake::Running;
        } else if (revents & (POLLERR | POLLNVAL)) {
            int soError = 0;
            socklen_t len = sizeof soError;
            if ((revents & POLLNVAL) || ::getsockopt(pair_->fd, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) {
                soError = EBADF;
            }
            if (soError == 0) soError = ECONNRESET;
            s.status = Status::Error;
            s.error = Error::posix(soError);
            note(kEventErrorOccurred);
        } else if (kind_ == Kind::Read) {
            if ((revents & POLLIN) && (s.events & kEventHasBytesAvailable) && s.armed) {
                s.armed = false;
                note(kEventHasBytesAvailable);
            } else if (revents & (POLLRDHUP | POLLHUP)) {
                s.status = Status::AtEnd;
                note(kEventEndEncountered);
            }
        } else {
            if ((revents & POLLOUT) && (s.events & kEventCanAcceptBytes) && s.armed) {
                s.armed = false;
                note(kEventCanAcceptBytes);
            } else if (revents & POLLHUP) {
                s.status = Status::AtEnd;
                note(kEventEndEncountered);
            }
        }
    }
    if (drive) {
        driveHandshake();
        return;
    }
    refresh();
    Pair::deliver(notes);
}

void SocketStream::driveHandshake() {
    std::vector<Pair::Note> notes;
    {
        std::lock_guard<std::mutex> lock(pair_->mutex);
        if (!pair_->security || pair_->handshake != Pair::Handshake::Running) return;
        StreamSecurity::Result r = pair_->security->handshake();
        switch (r) {
            case StreamSecurity::Result::Done:
                pair_->handshake = Pair::Handshake::Done;
                pair_->handshakeWants = 0;
                for (auto& s : pair_->sides) s.armed = true;
                break;
            case StreamSecurity::Result::WantRead: pair_->handshakeWants = POLLIN; break;
            case StreamSecurity::Result::WantWrite: pair_->handshakeWants = POLLOUT; break;
            default: {
                // A failed handshake fails both directions: nothing may go
                // out or come in unprotected afterwards.
                pair_->handshake = Pair::Handshake::Failed;
                Error err = pair_->security->error();
                for (int i = 0; i < 2; ++i) {
                    Pair::Side& s = pair_->sides[i];
                    if (s.status != Status::Open && s.status != Status::NotOpen) continue;
                    s.status = Status::Error;
                    s.error = err;
                    auto stream = pair_->streams[i].lock();
                    if (stream && (s.events & kEventErrorOccurred)) {
                        notes.push_back(Pair::Note{stream, s.client, kEventErrorOccurred});
                    }
                }
                break;
            }
        }
    }
    for (auto& weak : pair_->streams) {
        if (auto st = weak.lock()) st->refresh();
    }
    Pair::deliver(notes);
}

}  // namespace lumora
