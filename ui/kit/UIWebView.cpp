#include "ui/kit/UIWebView.h"

#include <QWidget>
#include <chrono>

#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/runloop/RunLoop.h"
#include "platform/text/Localization.h"
#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIProgressView.h"

namespace lumora {

namespace {

UIWebView::EngineFactory& engineFactory() {
    static UIWebView::EngineFactory factory;
    return factory;
}

std::string replaced(std::string text, const std::string& mark, const std::string& value) {
    auto at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), value);
    return text;
}

constexpr CGFloat kBarHeight = 3;
constexpr CGFloat kSpinnerSize = 37;

}  // namespace

void UIWebView::setEngineFactory(EngineFactory factory) { engineFactory() = std::move(factory); }
bool UIWebView::hasEngine() { return static_cast<bool>(engineFactory()); }

UIWebView::UIWebView(const CGRect& frame) : UIView(frame) {
    setBackgroundColor(UIColor::whiteColor());
    auto* failure = new UIView(CGRectZero);
    setViewName(failure, "webFailure");
    failure->setBackgroundColor(UIColor::whiteColor());
    failure->setHidden(true);
    failure_ = failure;
    auto* title = new UILabel(CGRectZero);
    setViewName(title, "webFailureTitle");
    title->setNumberOfLines(0);
    title->setFont(UIFont::boldSystemFontOfSize(17));
    title->setTextAlignment(UITextAlignment::Center);
    failureTitle_ = title;
    auto* reason = new UILabel(CGRectZero);
    setViewName(reason, "webFailureReason");
    reason->setNumberOfLines(0);
    reason->setFont(UIFont::systemFontOfSize(14));
    reason->setTextColor(UIColor::colorWithRed(0.3, 0.3, 0.3, 1));
    reason->setTextAlignment(UITextAlignment::Center);
    failureReason_ = reason;
    auto* address = new UILabel(CGRectZero);
    setViewName(address, "webAddress");
    address->setNumberOfLines(0);
    address->setFont(UIFont::systemFontOfSize(14));
    address->setTextColor(UIColor::colorWithRed(0.1, 0.2, 0.6, 1));
    address->setTextAlignment(UITextAlignment::Center);
    address_ = address;
    auto* open = UIButton::buttonWithType(UIButtonType::RoundedRect);
    setViewName(open, "webOpenInBrowser");
    open->setTitle(Localization::string("WEB_OPEN_IN_BROWSER"));
    QPointer<UIWebView> self(this);
    open->addTarget(this, [self](UIControl*, UIEvent*) {
        if (self && !self->url_.empty()) UIApplication::sharedApplication().openURL(self->url_);
    }, UIControlEventTouchUpInside);
    openButton_ = open;
    for (UIView* v : std::initializer_list<UIView*>{title, reason, address, open}) failure->addSubview(v);
    addSubview(failure);

    auto* bar = new UIProgressView(UIProgressViewStyle::Bar);
    setViewName(bar, "webProgress");
    bar->setHidden(true);
    bar_ = bar;
    addSubview(bar);
    auto* spinner = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::Gray);
    setViewName(spinner, "webSpinner");
    spinner->setHidesWhenStopped(true);
    spinner_ = spinner;
    addSubview(spinner);
    layoutSubviews();
}

UIWebView::~UIWebView() {
    ++generation_;
    if (engine_) {
        engine_->setListener({});
        engine_->stop();
    }
}

bool UIWebView::ensureEngine() {
    // Made at the first load: a web view that never loads (the help pictures'
    // screen keeps one behind them) starts no browser engine.
    if (engine_ || !engineFactory()) return static_cast<bool>(engine_);
    engine_ = engineFactory()();
    if (!engine_) return false;
    QPointer<UIWebView> self(this);
    WebPageEngine::Listener listener;
    listener.started = [self](const std::string& url) {
        if (self) self->onStarted(url);
    };
    listener.progress = [self](int percent) {
        if (self) self->onProgress(percent);
    };
    listener.finished = [self](const std::string& url, const WebPageEngine::Outcome& outcome) {
        if (self) self->onFinished(url, outcome);
    };
    engine_->setListener(std::move(listener));
    QWidget* page = engine_->widget();
    page->setParent(this);
    page->setObjectName("webPage");
    TouchRouter::letWidgetTakeMouse(page);
    page->lower();
    page->show();
    layoutSubviews();
    return true;
}

void UIWebView::loadRequest(const std::string& url) {
    startLoad(url, [this, url] { engine_->load(url); });
}

void UIWebView::loadHTMLString(const std::string& html, const std::string& baseUrl) {
    startLoad(baseUrl, [this, html, baseUrl] { engine_->loadHTML(html, baseUrl); });
}

void UIWebView::stopLoading() {
    ++generation_;
    if (engine_) engine_->stop();
    loading_ = false;
    if (spinner_) spinner_->stopAnimating();
    if (bar_) bar_->setHidden(true);
}

void UIWebView::startLoad(const std::string& url, const std::function<void()>& begin) {
    url_ = url;
    loaded_.push_back(url);
    pageText_.clear();
    if (address_) address_->setText(url);
    if (!ensureEngine()) {
        showFailure(Localization::string("WEB_NO_ENGINE"));
        return;
    }
    beginLoading();
    begin();
}

void UIWebView::beginLoading() {
    hideFailure();
    const uint64_t generation = ++generation_;
    loading_ = true;
    progress_ = 0;
    if (spinner_) spinner_->startAnimating();
    if (bar_) {
        bar_->setProgress(0);
        bar_->setHidden(false);
    }
    // The engine's own waits are long (minutes on a silent server): the
    // page gets the configured time, on the run loop's clock.
    const double seconds = Config::shared().webPageTimeout;
    if (seconds > 0) {
        QPointer<UIWebView> self(this);
        RunLoop::main().performAfterDelay(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds)),
            [self, generation] {
                if (self) self->onTimeout(generation);
            });
    }
}

void UIWebView::onStarted(const std::string& url) {
    current_ = url;
    if (loading_) return;
    // A link followed inside the page: a new load of the same view.
    url_ = url;
    loaded_.push_back(url);
    pageText_.clear();
    if (address_) address_->setText(url);
    beginLoading();
}

void UIWebView::onProgress(int percent) {
    if (!loading_) return;
    progress_ = percent;
    if (bar_) bar_->setProgress(static_cast<float>(percent) / 100.0f);
}

void UIWebView::onFinished(const std::string& url, const WebPageEngine::Outcome& outcome) {
    if (!loading_) return;
    ++generation_;
    loading_ = false;
    current_ = url;
    if (spinner_) spinner_->stopAnimating();
    if (bar_) bar_->setHidden(true);
    if (outcome.ok) {
        progress_ = 100;
        QPointer<UIWebView> self(this);
        const uint64_t generation = generation_;
        engine_->fetchText([self, generation](const std::string& text) {
            if (self && self->generation_ == generation) self->pageText_ = text;
        });
        return;
    }
    std::string reason;
    if (outcome.httpStatus > 0)
        reason = replaced(Localization::string("WEB_HTTP_ERROR"), "%d", std::to_string(outcome.httpStatus));
    else if (outcome.hostNotFound)
        reason = Localization::string("WEB_HOST_NOT_FOUND");
    else
        reason = replaced(Localization::string("WEB_NETWORK_ERROR"), "%s", outcome.error);
    Log::info("web", "%s could not be shown: %s", url.c_str(),
              outcome.httpStatus > 0 ? std::to_string(outcome.httpStatus).c_str() : outcome.error.c_str());
    showFailure(reason);
}

void UIWebView::onTimeout(uint64_t generation) {
    if (generation != generation_ || !loading_) return;
    Log::info("web", "%s: no answer in time", url_.c_str());
    stopLoading();
    showFailure(Localization::string("WEB_TIMED_OUT"));
}

void UIWebView::showFailure(const std::string& reason) {
    if (failureTitle_) failureTitle_->setText(Localization::string("WEB_LOAD_FAILED"));
    if (failureReason_) failureReason_->setText(reason);
    if (failure_) {
        failure_->setHidden(false);
        bringSubviewToFront(failure_);
    }
}

void UIWebView::hideFailure() {
    if (failure_) failure_->setHidden(true);
}

std::string UIWebView::failureText() const {
    if (!failure_ || failure_->isHidden() || !failureTitle_ || !failureReason_) return {};
    return failureTitle_->text() + " " + failureReason_->text();
}

void UIWebView::layoutSubviews() {
    const CGRect b = bounds();
    if (engine_) engine_->widget()->setGeometry(0, 0, static_cast<int>(b.size.width), static_cast<int>(b.size.height));
    if (bar_) bar_->setFrame(CGRectMake(0, 0, b.size.width, kBarHeight));
    if (spinner_)
        spinner_->setFrame(CGRectMake((b.size.width - kSpinnerSize) / 2, (b.size.height - kSpinnerSize) / 2,
                                      kSpinnerSize, kSpinnerSize));
    if (failure_) {
        failure_->setFrame(b);
        const CGFloat w = b.size.width - 40;
        const CGFloat top = b.size.height / 2 - 110;
        if (failureTitle_) failureTitle_->setFrame(CGRectMake(20, top, w, 44));
        if (failureReason_) failureReason_->setFrame(CGRectMake(20, top + 48, w, 60));
        if (address_) address_->setFrame(CGRectMake(20, top + 112, w, 44));
        if (openButton_) openButton_->setFrame(CGRectMake((b.size.width - 200) / 2, top + 170, 200, 44));
    }
}

}  // namespace lumora
