#include <gtest/gtest.h>

#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>

#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestArtifacts.h"
#include "ui/common/HelpAndAboutViewController.h"
#include "ui/common/HelpViewController.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIProgressView.h"
#include "ui/kit/UIWebView.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/kit/web/WebEnginePages.h"

using namespace lumora;
using lumora::test::LoopbackHttpServer;

namespace {

// The site's pages: a green band across the top (for the pixel check), a
// line of text, and a tall blue link to the next page.
std::string page(const std::string& text, const std::string& link = "") {
    std::string html =
        "<html><body style='margin:0;font-family:sans-serif'>"
        "<div style='background:#00a050;height:100px'></div><p id='text'>" +
        text + "</p>";
    if (!link.empty())
        html += "<a href='" + link +
                "' style='display:block;height:150px;background:#2050c0;color:white'>More help</a>";
    return html + "</body></html>";
}

LoopbackHttpServer::Reply reply(int status, const std::string& body) {
    LoopbackHttpServer::Reply r;
    r.status = status;
    r.parts = {body};
    return r;
}

// The site: its paths under /site/, anything else is not there.
LoopbackHttpServer::Reply site(const LoopbackHttpServer::Request& request) {
    const std::string& t = request.target;
    if (t.rfind("/site/send.php?", 0) == 0) return reply(200, page("Thank you for your feedback", "more.html"));
    if (t == "/site/help.html") return reply(200, page("Phone user guide"));
    if (t == "/site/ipadhelp.html") return reply(200, page("Tablet user guide"));
    if (t == "/site/more.html") return reply(200, page("More help follows"));
    return reply(404, "<html><body>Nothing here</body></html>");
}

bool isGreen(uint32_t rgba) {
    const int r = (rgba >> 24) & 0xff, g = (rgba >> 16) & 0xff, b = (rgba >> 8) & 0xff;
    return r < 40 && g > 130 && g < 190 && b > 50 && b < 110;
}

class HelpPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        installWebEnginePages();
        Config::shared().productName = "cam viewer";
        Config::shared().webPageTimeout = 20;
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Phone);
    }
    void TearDown() override { InterfaceIdiom::setCurrent(UserInterfaceIdiom::Unspecified); }

    std::vector<std::string> pageRequests() const {
        std::vector<std::string> out;
        for (const auto& r : server.requests())
            if (r.target.find("favicon") == std::string::npos) out.push_back(r.target);
        return out;
    }
    // Waits for the page to be shown whole: loaded, its text read, and its
    // green band drawn in the window at that point.
    bool pageShown(KitTestDriver& driver, UIWebView* web, const std::string& text) {
        const CGPoint band = web->pointInWindow(CGPointMake(web->bounds().size.width / 2, 50));
        return driver.waitUntil([&] {
            return !web->isLoading() && web->pageText().find(text) != std::string::npos &&
                   isGreen(driver.pixel(static_cast<int>(band.x), static_cast<int>(band.y)));
        });
    }

    LoopbackHttpServer server{site};
};

TEST_F(HelpPagesTest, FeedbackPageShowsTheSitesPageAndFollowsItsLink) {
    Config::shared().webSite = server.url("/site/");
    KitTestDriver driver;
    auto help = std::make_shared<HelpViewController>();
    help->aboutFlag = 1;
    driver.setRoot(std::make_shared<UINavigationController>(help));
    UIWebView* web = help->webView();
    ASSERT_TRUE(pageShown(driver, web, "Thank you for your feedback")) << web->failureText();
    EXPECT_EQ(pageRequests(), (std::vector<std::string>{"/site/send.php?N=cam%20viewer&V=1.0.1"}));
    EXPECT_EQ(server.requests().front().method, "GET");
    EXPECT_EQ(web->failureText(), "");
    EXPECT_FALSE(driver.find<UIActivityIndicatorView>("webSpinner")->isAnimating());
    EXPECT_TRUE(driver.find("webProgress")->isHidden());
    driver.saveScreenshot(test::testArtifact("feedback_phone.png"));

    // A tap on the link (the blue block under the text) opens the next page
    // in the same view.
    const CGPoint link = web->pointInWindow(CGPointMake(100, 220));
    driver.tapAt(link);
    ASSERT_TRUE(pageShown(driver, web, "More help follows")) << web->failureText();
    EXPECT_EQ(web->currentURL(), server.url("/site/more.html"));
    EXPECT_EQ(pageRequests().back(), "/site/more.html");
    EXPECT_EQ(web->pageText().find("Thank you"), std::string::npos);
}

// From the help and about screen, as a user reaches it; the tablet and the
// phone layouts.
TEST_F(HelpPagesTest, FeedbackRowOpensThePageInBothLayouts) {
    Config::shared().webSite = server.url("/site/");
    struct Case {
        ScreenProfile profile;
        UserInterfaceIdiom idiom;
        const char* shot;
    };
    for (const Case& c : {Case{ScreenProfile::Tablet, UserInterfaceIdiom::Pad, "feedback_tablet.png"},
                          Case{ScreenProfile::Phone568, UserInterfaceIdiom::Phone, "feedback_phone_tall.png"}}) {
        SCOPED_TRACE(c.shot);
        InterfaceIdiom::setCurrent(c.idiom);
        KitTestDriver driver(KitTestDriver::Options{c.profile, 1, true});
        auto about = std::make_shared<HelpAndAboutViewController>();
        auto nav = std::make_shared<UINavigationController>(about);
        driver.setRoot(nav);
        ASSERT_TRUE(driver.pickRow("tableView", 0, 1)) << driver.lastError();
        driver.advance(0.5);
        auto* feedback = dynamic_cast<HelpViewController*>(nav->topViewController());
        ASSERT_TRUE(feedback);
        ASSERT_TRUE(pageShown(driver, feedback->webView(), "Thank you for your feedback"))
            << feedback->webView()->failureText();
        driver.saveScreenshot(test::testArtifact(c.shot));
    }
}

TEST_F(HelpPagesTest, HelpPageForPhoneAndTablet) {
    Config::shared().webSite = server.url("/site");  // without the closing slash
    struct Case {
        ScreenProfile profile;
        UserInterfaceIdiom idiom;
        const char* path;
        const char* text;
    };
    for (const Case& c : {Case{ScreenProfile::Phone480, UserInterfaceIdiom::Phone, "/site/help.html", "Phone user guide"},
                          Case{ScreenProfile::Tablet, UserInterfaceIdiom::Pad, "/site/ipadhelp.html",
                               "Tablet user guide"}}) {
        SCOPED_TRACE(c.path);
        InterfaceIdiom::setCurrent(c.idiom);
        KitTestDriver driver(KitTestDriver::Options{c.profile, 1, true});
        auto help = std::make_shared<HelpViewController>();
        driver.setRoot(std::make_shared<UINavigationController>(help));
        EXPECT_FALSE(help->webView()->findChild<QWidget*>("webPage")) << "the pictures start no browser engine";
        help->openHelp();
        EXPECT_TRUE(help->webView()->findChild<QWidget*>("webPage"));
        EXPECT_EQ(help->view()->subviews().back(), help->webView());
        ASSERT_TRUE(pageShown(driver, help->webView(), c.text)) << help->webView()->failureText();
        EXPECT_EQ(pageRequests().back(), c.path);
    }
}

// Pages that cannot be shown: the message names the address, and its button
// hands the address to the desktop's browser.
TEST_F(HelpPagesTest, PageThatCannotBeShownOffersTheBrowser) {
    std::string refused;
    {
        LoopbackHttpServer gone{site};
        refused = gone.url("/site/");
    }
    struct Case {
        std::string site;
        const char* reason;
        const char* shot;
    };
    const Case cases[] = {
        {server.url("/missing/"), "The site answered with error 404.", "web_page_404.png"},
        {"http://nohost.lumora.invalid/site/", "The site was not found, or there is no network.", "web_page_no_host.png"},
        {refused, "The site could not be reached (", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.site);
        Config::shared().webSite = c.site;
        KitTestDriver driver;
        auto help = std::make_shared<HelpViewController>();
        driver.setRoot(std::make_shared<UINavigationController>(help));
        help->openHelp();
        UIWebView* web = help->webView();
        const std::string address = c.site + "help.html";
        EXPECT_EQ(web->requestedURL(), address);
        ASSERT_TRUE(driver.waitUntil([&] { return !web->isLoading(); }));
        EXPECT_NE(web->failureText().find(c.reason), std::string::npos) << web->failureText();
        const auto texts = driver.visibleTexts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), address), texts.end()) << "the address is shown";
        EXPECT_NE(std::find(texts.begin(), texts.end(), "This page could not be shown."), texts.end());
        if (c.shot) driver.saveScreenshot(test::testArtifact(c.shot));
        ASSERT_TRUE(driver.tap("webOpenInBrowser")) << driver.lastError();
        ASSERT_FALSE(driver.openedURLs().empty());
        EXPECT_EQ(driver.openedURLs().back(), address);
    }
}

// A server that takes its time: the spinner and the bar show while it is
// silent; with no answer within the configured time the view gives up and
// offers the browser; a later load that succeeds clears the message.
TEST_F(HelpPagesTest, SlowServerShowsProgressThenTimesOut) {
    LoopbackHttpServer slow{[](const LoopbackHttpServer::Request& r) {
        if (r.target.rfind("/slow/", 0) == 0) {
            LoopbackHttpServer::Reply hang;
            hang.hang = true;
            return hang;
        }
        return site(r);
    }};
    Config::shared().webPageTimeout = 10;
    Config::shared().webSite = slow.url("/slow/");
    KitTestDriver driver;
    auto help = std::make_shared<HelpViewController>();
    help->aboutFlag = 1;
    driver.setRoot(std::make_shared<UINavigationController>(help));
    UIWebView* web = help->webView();
    // The engine works through the event loop: pump it until the request is in.
    ASSERT_TRUE(driver.waitUntil([&] { return !slow.events().empty(); }));
    EXPECT_TRUE(web->isLoading());
    EXPECT_TRUE(driver.find<UIActivityIndicatorView>("webSpinner")->isAnimating());
    EXPECT_FALSE(driver.find("webSpinner")->isHidden());
    EXPECT_FALSE(driver.find("webProgress")->isHidden());
    EXPECT_EQ(web->failureText(), "");
    driver.saveScreenshot(test::testArtifact("web_page_loading.png"));

    driver.advance(9);
    EXPECT_TRUE(web->isLoading()) << "not yet";
    driver.advance(1.5);
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(web->failureText(), "This page could not be shown. The site did not answer in time.");
    EXPECT_FALSE(driver.find<UIActivityIndicatorView>("webSpinner")->isAnimating());
    EXPECT_TRUE(driver.find("webProgress")->isHidden());
    ASSERT_TRUE(driver.tap("webOpenInBrowser")) << driver.lastError();
    EXPECT_EQ(driver.openedURLs().back(), slow.url("/slow/send.php?N=cam%20viewer&V=1.0.1"));

    web->loadRequest(slow.url("/site/help.html"));
    EXPECT_EQ(web->failureText(), "");
    ASSERT_TRUE(pageShown(driver, web, "Phone user guide")) << web->failureText();
    // The first load's time-out, had it been left armed, would fire here.
    driver.advance(15);
    EXPECT_EQ(web->failureText(), "");
}

}  // namespace
