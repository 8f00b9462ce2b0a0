#include <gtest/gtest.h>

#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/Config.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIProgressView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWebView.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

// A page engine the test steers: it records what it is asked and reports
// what the test tells it to.
class FakeEngine : public WebPageEngine {
public:
    QWidget* widget() override { return widget_; }
    void setListener(Listener l) override { listener = std::move(l); }
    void load(const std::string& url) override { asked.push_back("load " + url); }
    void loadHTML(const std::string&, const std::string& baseUrl) override { asked.push_back("html " + baseUrl); }
    void stop() override { asked.push_back("stop"); }
    void fetchText(std::function<void(const std::string&)> done) override { done(text); }

    Listener listener;
    std::vector<std::string> asked;
    std::string text = "page text";

private:
    QWidget* widget_ = new QWidget;
};

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().webPageTimeout = 10;
        UIWebView::setEngineFactory([this] {
            auto e = std::make_unique<FakeEngine>();
            engine = e.get();
            return e;
        });
        driver.setRoot(screen);
        web = new UIWebView(CGRectMake(0, 0, 320, 400));
        screen->view()->addSubview(web);
        driver.settle();
    }
    void TearDown() override { UIWebView::setEngineFactory(nullptr); }

    bool spinning() const { return driver.find<UIActivityIndicatorView>("webSpinner")->isAnimating(); }
    float bar() const { return driver.find<UIProgressView>("webProgress")->progress(); }
    bool barShown() const { return !driver.find("webProgress")->isHidden(); }
    bool shows(const std::string& text) const {
        const auto texts = driver.visibleTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    KitTestDriver driver;
    std::shared_ptr<UIViewController> screen = std::make_shared<UIViewController>();
    FakeEngine* engine = nullptr;
    UIWebView* web = nullptr;
};

TEST_F(WebViewTest, ProgressFollowsTheEngineAndEndsWithThePage) {
    web->loadRequest("http://site.test/help.html");
    EXPECT_EQ(engine->asked, (std::vector<std::string>{"load http://site.test/help.html"}));
    engine->listener.started("http://site.test/help.html");
    EXPECT_TRUE(web->isLoading());
    EXPECT_TRUE(spinning());
    EXPECT_TRUE(barShown());
    EXPECT_EQ(bar(), 0.0f);
    engine->listener.progress(40);
    EXPECT_EQ(web->progressPercent(), 40);
    EXPECT_FLOAT_EQ(bar(), 0.4f);
    engine->listener.finished("http://site.test/help.html", WebPageEngine::Outcome{true, 0, false, ""});
    EXPECT_FALSE(web->isLoading());
    EXPECT_FALSE(spinning());
    EXPECT_FALSE(barShown());
    EXPECT_EQ(web->pageText(), "page text");
    EXPECT_EQ(web->failureText(), "");
    // The finished load's time-out is dead.
    driver.advance(30);
    EXPECT_EQ(web->failureText(), "");
}

TEST_F(WebViewTest, EachFailureNamesItsReasonAndTheAddress) {
    struct Case {
        WebPageEngine::Outcome outcome;
        const char* reason;
    } cases[] = {
        {{false, 500, false, "server error"}, "The site answered with error 500."},
        {{false, 0, true, "net::ERR_NAME_NOT_RESOLVED"}, "The site was not found, or there is no network."},
        {{false, 0, false, "net::ERR_CONNECTION_RESET"}, "The site could not be reached (net::ERR_CONNECTION_RESET)."},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::string url = "http://site.test/page" + std::to_string(++n) + ".html";
        web->loadRequest(url);
        EXPECT_EQ(web->failureText(), "") << "a new load clears the last message";
        engine->listener.started(url);
        engine->listener.finished(url, c.outcome);
        EXPECT_EQ(web->failureText(), std::string("This page could not be shown. ") + c.reason);
        EXPECT_TRUE(shows(url));
        EXPECT_FALSE(spinning());
        ASSERT_TRUE(driver.tap("webOpenInBrowser")) << driver.lastError();
        EXPECT_EQ(driver.openedURLs().back(), url);
    }
    EXPECT_EQ(driver.openedURLs().size(), 3u);
}

// A link followed in the page starts a load the view did not ask for: it
// shows progress, keeps the address, and gets its own time-out.
TEST_F(WebViewTest, LinkFollowedIsALoadOfItsOwn) {
    web->loadRequest("http://site.test/a.html");
    engine->listener.started("http://site.test/a.html");
    engine->listener.finished("http://site.test/a.html", WebPageEngine::Outcome{true, 0, false, ""});
    driver.advance(5);
    engine->listener.started("http://site.test/b.html");
    EXPECT_TRUE(web->isLoading());
    EXPECT_TRUE(spinning());
    EXPECT_EQ(web->requestedURL(), "http://site.test/b.html");
    EXPECT_EQ(web->currentURL(), "http://site.test/b.html");
    EXPECT_EQ(web->loadedURLs(), (std::vector<std::string>{"http://site.test/a.html", "http://site.test/b.html"}));
    driver.advance(9.5);
    EXPECT_TRUE(web->isLoading());
    driver.advance(1);
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(web->failureText(), "This page could not be shown. The site did not answer in time.");
    EXPECT_EQ(engine->asked.back(), "stop");
    // The engine's late word on the given-up load changes nothing.
    engine->listener.finished("http://site.test/b.html", WebPageEngine::Outcome{true, 0, false, ""});
    EXPECT_NE(web->failureText(), "");
    ASSERT_TRUE(driver.tap("webOpenInBrowser"));
    EXPECT_EQ(driver.openedURLs().back(), "http://site.test/b.html");
}

TEST(WebViewWithoutEngineTest, ShowsTheAddressAndOffersTheBrowser) {
    UIWebView::setEngineFactory(nullptr);
    KitTestDriver driver;
    auto screen = std::make_shared<UIViewController>();
    driver.setRoot(screen);
    auto* web = new UIWebView(CGRectMake(0, 0, 320, 400));
    screen->view()->addSubview(web);
    web->loadRequest("http://site.test/help.html");
    driver.settle();
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(web->failureText(), "This page could not be shown. This program cannot show web pages itself.");
    ASSERT_TRUE(driver.tap("webOpenInBrowser")) << driver.lastError();
    EXPECT_EQ(driver.openedURLs(), (std::vector<std::string>{"http://site.test/help.html"}));
}

}  // namespace
