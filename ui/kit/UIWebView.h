#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIView.h"

class QWidget;

namespace lumora {

class UIActivityIndicatorView;
class UIButton;
class UILabel;
class UIProgressView;

// What draws web pages for UIWebView. The program installs one (a browser
// engine, see ui/kit/web); a process without one shows the address and a
// button that opens it in the desktop's browser.
class WebPageEngine {
public:
    // How a load ended. `httpStatus` is the server's error status (404 ...)
    // when the server answered with one, else 0; `error` is the engine's
    // own text for other failures (empty on success).
    struct Outcome {
        bool ok = false;
        int httpStatus = 0;
        bool hostNotFound = false;
        std::string error;
    };
    struct Listener {
        std::function<void(const std::string& url)> started;
        std::function<void(int percent)> progress;
        std::function<void(const std::string& url, const Outcome& outcome)> finished;
    };

    virtual ~WebPageEngine() = default;
    // The widget that shows the page; the web view owns it as a child.
    virtual QWidget* widget() = 0;
    virtual void setListener(Listener listener) = 0;
    virtual void load(const std::string& url) = 0;
    virtual void loadHTML(const std::string& html, const std::string& baseUrl) = 0;
    virtual void stop() = 0;
    // The page's text as shown (asynchronous).
    virtual void fetchText(std::function<void(const std::string&)> done) = 0;
};

// A web view: loads an address into the installed page engine. While a page
// loads, a spinner and a progress bar show; a page that cannot be shown (no
// network, unknown host, an HTTP error, no answer within the configured
// time) gives way to a message with the address and an "open in browser"
// button that goes through UIApplication::openURL.
class UIWebView : public UIView {
public:
    using EngineFactory = std::function<std::unique_ptr<WebPageEngine>()>;
    // The process-wide page engine; nullptr removes it.
    static void setEngineFactory(EngineFactory factory);
    static bool hasEngine();

    explicit UIWebView(const CGRect& frame = CGRectZero);
    ~UIWebView() override;

    void loadRequest(const std::string& url);
    void loadHTMLString(const std::string& html, const std::string& baseUrl);
    void stopLoading();

    // The address last asked for, and every address asked for in order.
    const std::string& requestedURL() const { return url_; }
    const std::vector<std::string>& loadedURLs() const { return loaded_; }
    // The address of the page shown (after links followed).
    const std::string& currentURL() const { return current_; }
    bool isLoading() const { return loading_; }
    int progressPercent() const { return progress_; }
    // The message shown for a page that could not be shown (empty otherwise).
    std::string failureText() const;
    // The text of the page shown, read once its load finished.
    const std::string& pageText() const { return pageText_; }
    bool scalesPageToFit = false;

    void layoutSubviews() override;

private:
    bool ensureEngine();
    void startLoad(const std::string& url, const std::function<void()>& begin);
    void beginLoading();
    void onStarted(const std::string& url);
    void onProgress(int percent);
    void onFinished(const std::string& url, const WebPageEngine::Outcome& outcome);
    void onTimeout(uint64_t generation);
    void showFailure(const std::string& reason);
    void hideFailure();

    std::unique_ptr<WebPageEngine> engine_;
    std::string url_;
    std::string current_;
    std::string pageText_;
    std::vector<std::string> loaded_;
    bool loading_ = false;
    int progress_ = 0;
    uint64_t generation_ = 0;
    QPointer<UIActivityIndicatorView> spinner_;
    QPointer<UIProgressView> bar_;
    QPointer<UIView> failure_;
    QPointer<UILabel> failureTitle_;
    QPointer<UILabel> failureReason_;
    QPointer<UILabel> address_;
    QPointer<UIButton> openButton_;
};

}  // namespace lumora
