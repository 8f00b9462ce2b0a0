#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/AlertPresenter.h"
#include "platform/Application.h"
#include "ui/kit/ApplicationAlertBridge.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

class Screen : public UIViewController {};

class AlertLog : public UIAlertViewDelegate {
public:
    explicit AlertLog(Log& log) : log_(log) {}
    void alertViewClickedButtonAtIndex(UIAlertView* a, int i) override { note("clicked", a, i); }
    void alertViewWillDismissWithButtonIndex(UIAlertView* a, int i) override { note("willDismiss", a, i); }
    void alertViewDidDismissWithButtonIndex(UIAlertView* a, int i) override { note("didDismiss", a, i); }

private:
    void note(const char* what, UIAlertView* a, int i) {
        log_.push_back(std::string(what) + " " + std::to_string(a->tag()) + ":" + std::to_string(i));
    }
    Log& log_;
};

TEST(OverlayTest, AlertButtonIndices) {
    struct Case {
        std::string cancel;
        std::vector<std::string> others;
        int cancelIndex;
        int firstOther;
        std::vector<std::string> titles;
    };
    KitTestDriver driver;
    for (const Case& c : {Case{"Cancel", {"OK", "Retry"}, 0, 1, {"Cancel", "OK", "Retry"}},
                          Case{"", {"OK", "Retry"}, -1, 0, {"OK", "Retry"}}, Case{"Close", {}, 0, -1, {"Close"}}}) {
        auto* a = new UIAlertView("T", "M", nullptr, c.cancel, c.others);
        EXPECT_EQ(a->cancelButtonIndex(), c.cancelIndex);
        EXPECT_EQ(a->firstOtherButtonIndex(), c.firstOther);
        ASSERT_EQ(a->numberOfButtons(), static_cast<int>(c.titles.size()));
        for (int i = 0; i < a->numberOfButtons(); ++i) EXPECT_EQ(a->buttonTitleAtIndex(i), c.titles[i]);
        delete a;
    }
}

TEST(OverlayTest, StackedAlertsAnswerTopmostFirst) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    Log log;
    AlertLog delegate(log);
    auto* first = new UIAlertView("First", "one", &delegate, "Cancel", {"OK"});
    first->setTag(1);
    first->show();
    auto* second = new UIAlertView("Second", "two", &delegate, "", {"Yes", "No"});
    second->setTag(2);
    second->show();
    driver.settle();
    EXPECT_EQ(UIAlertView::topmost(driver.window()), second);
    auto texts = driver.visibleTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Second"), texts.end());
    ASSERT_TRUE(driver.tapAlertButton("No")) << driver.lastError();
    EXPECT_EQ(log, (Log{"clicked 2:1", "willDismiss 2:1", "didDismiss 2:1"}));
    log.clear();
    ASSERT_TRUE(driver.tapAlertButton(1)) << driver.lastError();
    EXPECT_EQ(log, (Log{"clicked 1:1", "willDismiss 1:1", "didDismiss 1:1"}));
    EXPECT_EQ(UIAlertView::topmost(driver.window()), nullptr);
    EXPECT_FALSE(driver.tapAlertButton(0));
}

TEST(OverlayTest, AlertDismissedInCodeCallsNoClick) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    Log log;
    AlertLog delegate(log);
    QPointer<UIAlertView> alert = new UIAlertView("T", "", &delegate, "Cancel", {});
    alert->show();
    driver.settle();
    alert->dismissWithClickedButtonIndex(0, true);
    driver.settle();
    EXPECT_EQ(log, (Log{"willDismiss 0:0", "didDismiss 0:0"}));
    EXPECT_TRUE(alert.isNull());
}

TEST(OverlayTest, AlertIsModal) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* button = new UIButton(CGRectMake(0, 0, 320, 480));
    setViewName(button, "under");
    screen->view()->addSubview(button);
    (new UIAlertView("T", "", nullptr, "Cancel", {}))->show();
    driver.settle();
    EXPECT_FALSE(driver.tap("under"));
    EXPECT_NE(driver.lastError().find("covered"), std::string::npos);
}

class SheetLog : public UIActionSheetDelegate {
public:
    explicit SheetLog(Log& log) : log_(log) {}
    void actionSheetClickedButtonAtIndex(UIActionSheet*, int i) override {
        log_.push_back("clicked " + std::to_string(i));
    }
    void actionSheetDidDismissWithButtonIndex(UIActionSheet*, int i) override {
        log_.push_back("didDismiss " + std::to_string(i));
    }

private:
    Log& log_;
};

TEST(OverlayTest, ActionSheetPutsOthersFirstAndCancelLast) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    Log log;
    SheetLog delegate(log);
    auto* sheet = new UIActionSheet("Share", &delegate, "Cancel", "Delete", {"Mail", "Album"});
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    auto* custom = new UIView(CGRectMake(20, 0, 280, 0));
    setViewName(custom, "sheetExtra");
    sheet->addCustomView(custom, 60);
    sheet->showInView(screen->view());
    driver.settle();
    EXPECT_TRUE(driver.isTappable(driver.find("sheetExtra"))) << driver.lastError();
    ASSERT_TRUE(driver.tapSheetButton("Cancel")) << driver.lastError();
    EXPECT_EQ(log, (Log{"clicked 3", "didDismiss 3"}));
    auto* plain = new UIActionSheet("", &delegate, "Cancel", "", {"One"});
    EXPECT_EQ(plain->destructiveButtonIndex(), -1);
    EXPECT_EQ(plain->firstOtherButtonIndex(), 0);
    EXPECT_EQ(plain->cancelButtonIndex(), 1);
    delete plain;
}

class PopoverLog : public UIPopoverControllerDelegate {
public:
    explicit PopoverLog(Log& log) : log_(log) {}
    bool popoverControllerShouldDismissPopover(UIPopoverController*) override {
        log_.push_back("shouldDismiss");
        return allow;
    }
    void popoverControllerDidDismissPopover(UIPopoverController*) override { log_.push_back("didDismiss"); }
    bool allow = true;

private:
    Log& log_;
};

class Content : public UIViewController {
public:
    explicit Content(Log& log) : log_(log) {}
    void viewWillAppear(bool) override { log_.push_back("content willAppear"); }
    void viewDidDisappear(bool) override { log_.push_back("content didDisappear"); }

private:
    Log& log_;
};

TEST(OverlayTest, PopoverTapOutsideAsksThenDismissesButDismissInCodeTellsNoDelegate) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Tablet, 1, true});
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    Log log;
    PopoverLog delegate(log);
    auto popover = std::make_shared<UIPopoverController>(std::make_shared<Content>(log));
    popover->delegate = &delegate;
    popover->setPopoverContentSize(CGSize{300, 200});
    popover->presentPopoverFromRect(CGRectMake(100, 100, 40, 40), screen->view(), UIPopoverArrowDirectionAny, true);
    driver.settle();
    EXPECT_TRUE(popover->isPopoverVisible());
    EXPECT_EQ(log, (Log{"content willAppear"}));
    // The delegate may refuse.
    delegate.allow = false;
    log.clear();
    ASSERT_TRUE(driver.tapOutsidePopover()) << driver.lastError();
    EXPECT_EQ(log, (Log{"shouldDismiss"}));
    EXPECT_TRUE(popover->isPopoverVisible());
    delegate.allow = true;
    log.clear();
    ASSERT_TRUE(driver.tapOutsidePopover());
    EXPECT_EQ(log, (Log{"shouldDismiss", "content didDisappear", "didDismiss"}));
    EXPECT_FALSE(popover->isPopoverVisible());
    // Shown again and dismissed in code: no delegate call.
    popover->presentPopoverFromRect(CGRectMake(100, 100, 40, 40), screen->view(), UIPopoverArrowDirectionAny, false);
    log.clear();
    popover->dismissPopoverAnimated(true);
    driver.settle();
    EXPECT_EQ(log, (Log{"content didDisappear"}));
    EXPECT_FALSE(driver.tapOutsidePopover());
}

}  // namespace

namespace {

TEST(OverlayTest, EngineAlertsFromAnyThreadShowInTheWindow) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    AlertPresenter::install(std::make_shared<KitAlertPresenter>());
    std::thread([] { AlertPresenter::show("Recording", "The disk is full.", "OK"); }).join();
    ASSERT_TRUE(driver.waitUntil([&] { return UIAlertView::topmost(driver.window()) != nullptr; }));
    UIAlertView* alert = UIAlertView::topmost(driver.window());
    EXPECT_EQ(alert->title(), "Recording");
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    ASSERT_TRUE(driver.tapAlertButton("OK")) << driver.lastError();
    EXPECT_EQ(UIAlertView::topmost(driver.window()), nullptr);
    AlertPresenter::install(nullptr);
}

}  // namespace

namespace {

class AnswerLog : public ApplicationDelegate {
public:
    void alertViewClickedButtonAtIndex(const Application::Alert& alert, int buttonIndex) override {
        answers.push_back(alert.context + ":" + std::to_string(buttonIndex));
    }
    std::vector<std::string> answers;
};

TEST(OverlayTest, ApplicationAlertsAreDrawnAndAnswered) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    AnswerLog delegate;
    Application& app = driver.launch(delegate);
    ApplicationAlertBridge bridge(app);
    app.showAlert(Application::Alert{"Alarm", "Motion on Cam A", {"Close", "View"}, 1000, "first"});
    app.showAlert(Application::Alert{"Alarm", "Motion on Cam B", {"Close", "View"}, 1000, "second"});
    driver.settle();
    EXPECT_EQ(UIAlertView::topmost(driver.window())->message(), "Motion on Cam B");
    ASSERT_TRUE(driver.tapAlertButton("View")) << driver.lastError();
    ASSERT_TRUE(driver.tapAlertButton("Close")) << driver.lastError();
    EXPECT_EQ(delegate.answers, (std::vector<std::string>{"second:1", "first:0"}));
    EXPECT_TRUE(app.shownAlerts().empty());
}

}  // namespace
