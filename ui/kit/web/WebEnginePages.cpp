#include "ui/kit/web/WebEnginePages.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/Log.h"
#include "ui/kit/UIWebView.h"

namespace lumora {

namespace {

// Chromium's net error for a host name that does not resolve.
constexpr int kNameNotResolved = -105;
constexpr int kInternetDisconnected = -106;
// A load given up for another one (or stopped): not a failure of the page.
constexpr int kAborted = -3;

std::string text(const QString& s) { return s.toUtf8().toStdString(); }

// Script console lines go to the log, not to standard error.
class QuietPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int line,
                                  const QString& source) override {
        Log::debug("web", "console %s:%d: %s", text(source).c_str(), line, text(message).c_str());
    }
    // A link that asks for a new window opens in this one.
    QWebEnginePage* createWindow(WebWindowType) override { return this; }
};

class WebEnginePage : public WebPageEngine {
public:
    WebEnginePage() : view_(new QWebEngineView) {
        view_->setPage(new QuietPage(view_));
        view_->setContextMenuPolicy(Qt::NoContextMenu);
        QWebEnginePage* page = view_->page();
        QObject::connect(page, &QWebEnginePage::loadingChanged, view_, [this](const QWebEngineLoadingInfo& info) {
            const std::string url = text(info.url().toString());
            switch (info.status()) {
            case QWebEngineLoadingInfo::LoadStartedStatus:
                if (listener_.started) listener_.started(url);
                break;
            case QWebEngineLoadingInfo::LoadSucceededStatus: {
                Outcome ok;
                ok.ok = true;
                if (listener_.finished) listener_.finished(url, ok);
                break;
            }
            case QWebEngineLoadingInfo::LoadFailedStatus: {
                if (info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain &&
                    info.errorCode() == kAborted)
                    break;
                Outcome failed;
                if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
                    failed.httpStatus = info.errorCode();
                failed.hostNotFound =
                    info.errorCode() == kNameNotResolved || info.errorCode() == kInternetDisconnected;
                failed.error = text(info.errorString());
                if (listener_.finished) listener_.finished(url, failed);
                break;
            }
            case QWebEngineLoadingInfo::LoadStoppedStatus:
                break;
            }
        });
        QObject::connect(page, &QWebEnginePage::loadProgress, view_, [this](int percent) {
            if (listener_.progress) listener_.progress(percent);
        });
    }
    ~WebEnginePage() override { delete view_.data(); }

    QWidget* widget() override { return view_; }
    void setListener(Listener listener) override { listener_ = std::move(listener); }
    void load(const std::string& url) override {
        if (view_) view_->load(QUrl(QString::fromStdString(url)));
    }
    void loadHTML(const std::string& html, const std::string& baseUrl) override {
        if (view_) view_->setHtml(QString::fromStdString(html), QUrl(QString::fromStdString(baseUrl)));
    }
    void stop() override {
        if (view_) view_->stop();
    }
    void fetchText(std::function<void(const std::string&)> done) override {
        if (!view_) return;
        view_->page()->toPlainText([done = std::move(done)](const QString& s) { done(text(s)); });
    }

private:
    QPointer<QWebEngineView> view_;
    Listener listener_;
};

}  // namespace

void installWebEnginePages() {
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if ((platform && std::string(platform) == "offscreen") || ((!platform || !*platform) && !display)) {
        // No display: the page is drawn in software.
        setenv("QT_QUICK_BACKEND", "software", 0);
    }
    if (!QCoreApplication::instance()) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The engine reports its graphics set-up at start; keep that off the terminal.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    UIWebView::setEngineFactory([] { return std::make_unique<WebEnginePage>(); });
}

}  // namespace lumora
