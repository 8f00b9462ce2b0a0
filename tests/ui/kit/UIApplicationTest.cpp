#include <gtest/gtest.h>

#include <any>
#include <string>
#include <vector>

#include "platform/dispatch/NotificationCenter.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIDatePicker.h"
#include "ui/kit/UIPasteboard.h"
#include "ui/kit/UIPickerView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWebView.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

class Screen : public UIViewController {
public:
    explicit Screen(Log* log = nullptr) : log_(log) {}
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    void didReceiveMemoryWarning() override {
        if (log_) log_->push_back("memory warning");
    }

private:
    Log* log_;
};

TEST(UIApplicationTest, RotationPostsDeviceAndStatusBarNotificationsInOrder) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    Log log;
    auto& center = NotificationCenter::defaultCenter();
    std::vector<NotificationCenter::ObserverId> ids;
    for (const char* name : {UIDeviceOrientationDidChangeNotification, UIApplicationWillChangeStatusBarOrientationNotification,
                             UIApplicationDidChangeStatusBarOrientationNotification}) {
        ids.push_back(center.addObserver(name, nullptr, [&log, name](const Notification& n) {
            auto o = std::any_cast<UIInterfaceOrientation>(n.userInfo);
            log.push_back(std::string(name) + " " + std::to_string(static_cast<int>(o)) + " now " +
                          std::to_string(static_cast<int>(UIApplication::sharedApplication().statusBarOrientation())));
        }));
    }
    EXPECT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeRight));
    EXPECT_EQ(log, (Log{"UIDeviceOrientationDidChangeNotification 3 now 1",
                        "UIApplicationWillChangeStatusBarOrientationNotification 3 now 1",
                        "UIApplicationDidChangeStatusBarOrientationNotification 3 now 3"}));
    for (auto id : ids) center.removeObserver(id);
}

TEST(UIApplicationTest, UrlsAreRecordedAndTheWebViewShowsItsAddress) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    EXPECT_FALSE(UIApplication::sharedApplication().openURL(""));
    EXPECT_TRUE(UIApplication::sharedApplication().openURL("http://help.lumora.invalid/help.html"));
    EXPECT_EQ(driver.openedURLs(), (std::vector<std::string>{"http://help.lumora.invalid/help.html"}));
    auto* web = new UIWebView(CGRectMake(0, 0, 320, 400));
    screen->view()->addSubview(web);
    web->loadRequest("http://help.lumora.invalid/ipadhelp.html");
    EXPECT_EQ(web->requestedURL(), "http://help.lumora.invalid/ipadhelp.html");
    auto texts = driver.visibleTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "http://help.lumora.invalid/ipadhelp.html"), texts.end());
}

TEST(UIApplicationTest, PasteboardMemoryWarningBadgeAndIdleTimer) {
    KitTestDriver driver;
    Log log;
    driver.setRoot(std::make_shared<Screen>(&log));
    UIPasteboard::generalPasteboard().setString("LUMO-000001-ABCDE");
    EXPECT_EQ(driver.pasteboardText(), "LUMO-000001-ABCDE");
    driver.memoryWarning();
    EXPECT_EQ(log, (Log{"memory warning"}));
    auto& app = UIApplication::sharedApplication();
    app.setApplicationIconBadgeNumber(-3);
    EXPECT_EQ(app.applicationIconBadgeNumber(), 0);
    app.setIdleTimerDisabled(true);
    EXPECT_TRUE(app.isIdleTimerDisabled());
    EXPECT_EQ(app.keyWindow(), driver.window());
}

class Hours : public UIPickerViewDataSource, public UIPickerViewDelegate {
public:
    int numberOfComponentsInPickerView(UIPickerView*) override { return 2; }
    int numberOfRowsInComponent(UIPickerView*, int c) override { return c == 0 ? 24 : 60; }
    std::string titleForRow(UIPickerView*, int row, int) override { return std::to_string(row); }
    void didSelectRow(UIPickerView*, int row, int c) override {
        picked.push_back(std::to_string(c) + ":" + std::to_string(row));
    }
    std::vector<std::string> picked;
};

TEST(UIApplicationTest, PickersTellOnlyOfTheUsersChoice) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    Hours hours;
    auto* picker = new UIPickerView(CGRectMake(0, 0, 320, 216));
    setViewName(picker, "hours");
    picker->dataSource = &hours;
    picker->delegate = &hours;
    picker->reloadAllComponents();
    screen->view()->addSubview(picker);
    picker->selectRow(5, 0, false);
    EXPECT_TRUE(hours.picked.empty());
    ASSERT_TRUE(driver.pickPickerRow("hours", 1, 30)) << driver.lastError();
    EXPECT_FALSE(driver.pickPickerRow("hours", 1, 60));
    // A tap below the middle band turns the wheel on by one.
    driver.tapAt(CGPoint{80, 108 + 44});
    EXPECT_EQ(hours.picked, (std::vector<std::string>{"1:30", "0:6"}));
    EXPECT_EQ(picker->selectedRowInComponent(0), 6);

    auto* date = new UIDatePicker(CGRectMake(0, 220, 320, 0));
    setViewName(date, "start");
    screen->view()->addSubview(date);
    int changes = 0;
    date->addTarget(nullptr, [&](UIControl*, UIEvent*) { ++changes; }, UIControlEventValueChanged);
    auto t0 = std::chrono::system_clock::from_time_t(1700000000);
    date->maximumDate = t0;
    date->setDate(t0 - std::chrono::hours(1));
    EXPECT_EQ(changes, 0);
    ASSERT_TRUE(driver.pickDate("start", t0 + std::chrono::hours(5)));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(date->date(), t0);
}

TEST(UIApplicationTest, InterfaceFilesBuildNamedViewsAndWireActions) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    struct Owner {
        int saves = 0;
    } owner;
    InterfaceFile::registerFile("SaveBar", [](void* o) {
        auto* bar = new UIView(CGRectMake(0, 400, 320, 44));
        setViewName(bar, "saveBar");
        auto* save = new UIButton(CGRectMake(10, 5, 80, 34));
        setViewName(save, "saveButton");
        save->addTarget(o, [o](UIControl*, UIEvent*) { ++static_cast<Owner*>(o)->saves; }, UIControlEventTouchUpInside);
        bar->addSubview(save);
        return bar;
    });
    EXPECT_EQ(InterfaceFile::load("Missing", &owner), nullptr);
    UIView* bar = InterfaceFile::load("SaveBar", &owner);
    ASSERT_NE(bar, nullptr);
    screen->view()->addSubview(bar);
    ASSERT_TRUE(driver.tap("saveButton")) << driver.lastError();
    EXPECT_EQ(owner.saves, 1);
}

}  // namespace
