#include "platform/net/HttpRequest.h"

#include <curl/curl.h>

#include <cctype>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Transfers still running on workers when the process exits. Exit tears
// down the transfer library's and the TLS library's global state and the
// main run loop; a worker still inside a transfer (or still starting one)
// would then use what is gone. So exit first refuses new transfers, has the
// running ones abort at their next progress call, and waits (bounded) until
// none is left inside.
// Never destroyed: workers still finishing a transfer after exit's wait touch it.
struct ExitState {
    std::mutex lock;
    std::condition_variable done;
    int transfers = 0;
    bool exiting = false;
};
ExitState& st() {
    static ExitState* state = new ExitState;
    return *state;
}

void waitForTransfersAtExit() {
    std::unique_lock<std::mutex> lock(st().lock);
    st().exiting = true;
    st().done.wait_for(lock, std::chrono::seconds(3), [] { return st().transfers == 0; });
}

// The transfer library is set up on the thread that starts the first
// request, not on a worker: its set-up registers the TLS library's own exit
// clean-up, which must be registered before the guard so that it runs after
// it (exit runs them in reverse order). Set up on a worker, a request still
// starting at exit had that clean-up run under it.
void registerExitGuardOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        initCurlOnce();
        std::atexit(waitForTransfersAtExit);
    });
}

bool exiting() {
    std::lock_guard<std::mutex> lock(st().lock);
    return st().exiting;
}

// Counts one transfer for the exit guard; false once the process exits.
class TransferGuard {
public:
    TransferGuard() {
        std::lock_guard<std::mutex> lock(st().lock);
        entered_ = !st().exiting;
        if (entered_) ++st().transfers;
    }
    ~TransferGuard() {
        if (!entered_) return;
        {
            std::lock_guard<std::mutex> lock(st().lock);
            --st().transfers;
        }
        st().done.notify_all();
    }
    explicit operator bool() const { return entered_; }

private:
    bool entered_ = false;
};

bool hasHttpScheme(const std::string& url) {
    auto starts = [&](const char* p) {
        size_t n = std::char_traits<char>::length(p);
        if (url.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != p[i]) return false;
        return true;
    };
    return starts("http://") || starts("https://");
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

HttpRequest::HttpRequest(std::string url, DataHandler onData, CompletionHandler onComplete, Options options)
    : url_(std::move(url)), onData_(std::move(onData)), onComplete_(std::move(onComplete)), options_(options) {}

HttpRequest::~HttpRequest() = default;

std::shared_ptr<HttpRequest> HttpRequest::get(std::string url, DataHandler onData, CompletionHandler onComplete,
                                              Options options) {
    registerExitGuardOnce();
    std::shared_ptr<HttpRequest> request(
        new HttpRequest(std::move(url), std::move(onData), std::move(onComplete), options));
    if (!hasHttpScheme(request->url_)) {
        RunLoop::main().perform([request] {
            request->deliverCompletion(0, Error(kErrorDomain, kBadURL, "not an http URL: " + request->url_));
        });
        return request;
    }
    DispatchQueue::global()->async([request] { request->perform(); });
    return request;
}

void HttpRequest::cancel() { cancelled_.store(true); }

size_t HttpRequest::writeCallback(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<HttpRequest*>(self);
    size_t n = size * count;
    if (request->cancelled_.load() || exiting()) return 0;  // aborts the transfer
    if (request->options_.maxBodyBytes > 0 && request->received_ + n > request->options_.maxBodyBytes) {
        request->tooLarge_ = true;
        return 0;
    }
    request->received_ += n;
    request->deliverData(std::string(data, n));
    return n;
}

int HttpRequest::progressCallback(void* self, long long, long long, long long, long long) {
    return static_cast<HttpRequest*>(self)->cancelled_.load() || exiting() ? 1 : 0;
}

void HttpRequest::perform() {
    TransferGuard guard;
    if (!guard) return;  // the process is exiting: nobody is left to tell
    initCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        auto self = shared_from_this();
        RunLoop::main().perform([self] {
            self->deliverCompletion(0, Error(kErrorDomain, kTransferFailed, "cannot create a transfer"));
        });
        return;
    }
    auto timeout = Config::shared().scaled(options_.timeout);
    long timeoutMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
    if (timeoutMs < 1) timeoutMs = 1;
    char errorText[CURL_ERROR_SIZE] = {0};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Loopback never goes through a proxy the environment may name.
    curl_easy_setopt(c, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1");
    curl_easy_setopt(c, CURLOPT_USERAGENT, "lumora");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &HttpRequest::writeCallback);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &HttpRequest::progressCallback);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);

    CURLcode rc = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);

    std::optional<Error> error;
    if (rc != CURLE_OK) {
        std::string text = errorText[0] ? errorText : curl_easy_strerror(rc);
        long code = kTransferFailed;
        if (tooLarge_) {
            code = kBodyTooLarge;
            text = "reply body larger than " + std::to_string(options_.maxBodyBytes) + " bytes";
        } else if (rc == CURLE_OPERATION_TIMEDOUT) {
            code = kTimedOut;
        } else if (rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_CONNECT ||
                   rc == CURLE_COULDNT_RESOLVE_PROXY) {
            code = kCannotConnect;
        } else if (rc == CURLE_UNSUPPORTED_PROTOCOL || rc == CURLE_URL_MALFORMAT) {
            code = kBadURL;
        }
        error = Error(kErrorDomain, code, text);
    }
    if (exiting()) return;  // aborted by the exit: the main run loop is going away
    auto self = shared_from_this();
    RunLoop::main().perform([self, status, error] { self->deliverCompletion(status, error); });
}

void HttpRequest::deliverData(std::string block) {
    auto self = shared_from_this();
    RunLoop::main().perform([self, block = std::move(block)] {
        if (self->cancelled_.load() || !self->onData_) return;
        self->onData_(block);
    });
}

void HttpRequest::deliverCompletion(long status, std::optional<Error> error) {
    // Take the handlers out first: they are released here, on the main
    // thread, whether they run or not.
    DataHandler onData = std::move(onData_);
    CompletionHandler onComplete = std::move(onComplete_);
    onData_ = nullptr;
    onComplete_ = nullptr;
    if (cancelled_.load()) return;
    if (onComplete) onComplete(status, error);
}

std::string HttpRequest::percentEncode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char ch : text) {
        bool unreserved = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                          ch == '-' || ch == '.' || ch == '_' || ch == '~';
        if (unreserved) {
            out.push_back(static_cast<char>(ch));
        } else {
            out.push_back('%');
            out.push_back(hex[ch >> 4]);
            out.push_back(hex[ch & 0x0F]);
        }
    }
    return out;
}

}  // namespace lumora
