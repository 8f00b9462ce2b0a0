#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace lumora {

// One plain HTTP GET (libcurl), run on a worker of the global queue. The
// reply's data blocks and its completion are delivered on the main run loop,
// in order: zero or more data calls, then exactly one completion call,
// unless the request was cancelled.
//
// cancel() called on the main thread guarantees that no callback runs after
// it returns (also when called from inside a callback). The handlers are
// released on the main thread once the request has finished, so they may
// hold whatever they like. A request object stays alive until it has
// finished even when its creator drops it; keep the pointer only to cancel.
//
// Process exit stops every request still starting or under way (none of
// its callbacks runs any more) and waits, bounded, until none is left inside
// the transfer library, whose global state exit tears down.
class HttpRequest : public std::enable_shared_from_this<HttpRequest> {
public:
    using DataHandler = std::function<void(const std::string& block)>;
    // status: the HTTP status code of the final reply (0 when none came).
    // error: set when the transfer failed (no reply, time-out, body too
    // large, ...); a reply with any status code is not an error.
    using CompletionHandler = std::function<void(long status, const std::optional<Error>& error)>;

    // The platform's default request time-out; scaled by Config::timeScale.
    static constexpr std::chrono::seconds kDefaultTimeout{60};

    struct Options {
        // Whole-transfer time-out, before Config scaling.
        std::chrono::nanoseconds timeout = kDefaultTimeout;
        // Largest body accepted; 0 means no limit. A longer body fails the
        // request with kBodyTooLarge.
        size_t maxBodyBytes = 0;
    };

    // Error domain and codes of this class.
    static constexpr const char* kErrorDomain = "HttpRequestErrorDomain";
    static constexpr long kTimedOut = 1;        // no complete reply within the time-out
    static constexpr long kCannotConnect = 2;   // host not found, refused, unreachable
    static constexpr long kBodyTooLarge = 3;    // the reply exceeded Options::maxBodyBytes
    static constexpr long kBadURL = 4;          // not an http:// or https:// URL
    static constexpr long kTransferFailed = 5;  // any other transfer failure

    // Starts the request and returns at once. Handlers may be empty.
    static std::shared_ptr<HttpRequest> get(std::string url, DataHandler onData, CompletionHandler onComplete,
                                            Options options);
    static std::shared_ptr<HttpRequest> get(std::string url, DataHandler onData, CompletionHandler onComplete) {
        return get(std::move(url), std::move(onData), std::move(onComplete), Options{});
    }

    // Stops the transfer; see the class comment for the guarantee.
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }
    const std::string& url() const { return url_; }

    // RFC 3986 percent-encoding for a query value: every byte but
    // A-Z a-z 0-9 - . _ ~ becomes %XX (upper-case hex).
    static std::string percentEncode(std::string_view text);

    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

private:
    HttpRequest(std::string url, DataHandler onData, CompletionHandler onComplete, Options options);
    void perform();  // on the worker
    void deliverData(std::string block);
    void deliverCompletion(long status, std::optional<Error> error);

    static size_t writeCallback(char* data, size_t size, size_t count, void* self);
    static int progressCallback(void* self, long long, long long, long long, long long);

    std::string url_;
    DataHandler onData_;          // touched on the main thread only
    CompletionHandler onComplete_;  // touched on the main thread only
    Options options_;
    std::atomic<bool> cancelled_{false};
    size_t received_ = 0;         // worker only
    bool tooLarge_ = false;       // worker only
};

}  // namespace lumora
