#include <gtest/gtest.h>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "support/TempDir.h"
#include "ui/common/UIAlertTableView.h"
#include "ui/common/UINoButtonAlertView.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class Screen : public UIViewController {};

// Three devices found on the LAN; remembers the row picked and keeps the
// alert open while the user picks.
class DeviceRows : public UITableViewDataSource, public UITableViewDelegate, public UIAlertViewDelegate {
public:
    std::vector<std::string> names{"Front door", "Garage", "Garden"};
    int picked = -1;
    std::vector<int> clicks;
    int dismissed = 0;
    UIAlertTableView* alert = nullptr;
    int numberOfRowsInSection(UITableView*, int) override { return static_cast<int>(names.size()); }
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& p) override {
        auto* c = new UITableViewCell(UITableViewCellStyle::Default, "row");
        c->textLabel()->setText(names[p.row]);
        return c;
    }
    void didSelectRowAtIndexPath(UITableView*, const NSIndexPath& p) override { picked = p.row; }
    void alertViewClickedButtonAtIndex(UIAlertView*, int index) override {
        clicks.push_back(index);
        // "Add" without a row chosen keeps the alert open.
        if (index == 1 && picked < 0 && alert) alert->definedButton = true;
    }
    void alertViewDidDismissWithButtonIndex(UIAlertView*, int) override { ++dismissed; }
};

TEST(UIAlertTableViewTest, TableSitsBetweenMessageAndButtonsAndReportsTheRow) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    DeviceRows rows;
    auto* alert = new UIAlertTableView("Devices on the LAN", "Pick one to add", &rows, "Cancel", {"Add"});
    rows.alert = alert;
    alert->tableDataSource = &rows;
    alert->tableDelegate = &rows;
    alert->tableHeight = 0;
    alert->show();
    driver.settle();
    EXPECT_EQ(alert->tableHeight, 70);
    EXPECT_EQ(alert->tableExtHeight(), 86);
    UITableView* table = alert->tableView();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->frame().origin.x, 11);
    EXPECT_EQ(table->frame().size.width, 262);
    EXPECT_EQ(table->frame().size.height, 70);
    UIView* message = driver.find("alertMessage");
    UIView* add = alert->buttonViewAtIndex(1);
    ASSERT_TRUE(message && add);
    EXPECT_GE(table->frame().origin.y, message->frame().origin.y + message->frame().size.height);
    EXPECT_GE(add->frame().origin.y, table->frame().origin.y + table->frame().size.height);
    driver.saveScreenshot(::testing::TempDir() + "alert_table.png");

    // "Add" before a row: the alert stays open once, the flag is cleared.
    ASSERT_TRUE(driver.tapAlertButton("Add")) << driver.lastError();
    EXPECT_EQ(rows.clicks, std::vector<int>{1});
    EXPECT_EQ(rows.dismissed, 0);
    EXPECT_FALSE(alert->definedButton);
    EXPECT_EQ(UIAlertView::topmost(driver.window()), alert);

    ASSERT_TRUE(driver.pickRow("alertTable", 0, 1)) << driver.lastError();
    EXPECT_EQ(rows.picked, 1);
    ASSERT_TRUE(driver.tapAlertButton("Add"));
    EXPECT_EQ(rows.dismissed, 1);
    EXPECT_EQ(UIAlertView::topmost(driver.window()), nullptr);
}

TEST(UIAlertTableViewTest, DefinedButtonAlsoHoldsADismissalInCode) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    QPointer<UIAlertTableView> alert = new UIAlertTableView("T", "", nullptr, "Close", {});
    alert->tableHeight = 40;
    alert->definedButton = true;
    alert->show();
    EXPECT_EQ(alert->tableView()->frame().size.height, 40);
    alert->dismissWithClickedButtonIndex(0, false);
    EXPECT_TRUE(alert->isVisible());
    alert->dismissWithClickedButtonIndex(0, false);
    driver.settle();
    EXPECT_TRUE(alert.isNull() || !alert->isVisible());
}

TEST(UIAlertTableViewTest, OldShowHasNoTable) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    auto* alert = new UIAlertTableView("T", "M", nullptr, "OK", {});
    alert->oldShow();
    EXPECT_EQ(alert->tableView(), nullptr);
    alert->setButtonTitle("ignored: no button is tagged 1001");
    EXPECT_TRUE(driver.tapAlertButton("OK"));
}

class FakeSearch : public UINoButtonAlertView::SearchClient {
public:
    void setupSearchAndConnDeviceWithID(const std::string& id, double timeout) override {
        searches.push_back(id + "@" + std::to_string(static_cast<int>(timeout)));
    }
    void closeConnToDeviceWithID(const std::string& id, int32_t conn) override {
        closed.push_back(id + "#" + std::to_string(conn));
    }
    std::vector<std::string> searches, closed;
};

class Added : public UINoButtonAlertViewDelegate {
public:
    void addDeviceWithInfoFromZBarCode() override { ++count; }
    int count = 0;
};

TEST(UINoButtonAlertViewTest, SearchShowsTheSpinnerAndReportsBothOutcomes) {
    test::TempDir dir;
    Config::shared().dataRoot = dir.path();
    KitTestDriver driver;
    driver.setRoot(std::make_shared<Screen>());
    auto* alert = new UINoButtonAlertView("Searching", "", nullptr, "Cancel", {});
    EXPECT_EQ(alert->button()->tag(), 1001);
    EXPECT_EQ(alert->label()->tag(), 1000);
    EXPECT_EQ(alert->indicator()->tag(), 1002);
    EXPECT_EQ(alert->indicator()->superview(), alert->label());

    alert->show();
    alert->start();  // no client yet: only the spinner
    EXPECT_FALSE(alert->button()->isEnabled());
    EXPECT_TRUE(alert->indicator()->isAnimating());

    auto search = std::make_shared<FakeSearch>();
    alert->gclient = search;
    alert->deviceId = "4711";
    alert->start();
    EXPECT_EQ(search->searches, std::vector<std::string>{"4711@15"});

    alert->deviceDidConnect(nullptr, "4711", 3);
    EXPECT_FALSE(alert->indicator()->isAnimating());
    EXPECT_TRUE(alert->button()->isEnabled());
    EXPECT_EQ(alert->label()->text(), "Device not found!");
    EXPECT_EQ(alert->message(), "ID:4711\nERR:3");

    Added added;
    alert->tdelegate = &added;
    auto device = std::make_shared<Device>();
    device->address.set(std::string("192.0.2.7"));
    device->mediaPort = 5050;
    device->udid.set(std::string("UID-4711"));
    device->connId = 9;
    size_t before = QvDeviceManager::sharedInstance().devices().size();
    alert->deviceDidConnect(device, "4711", 10);
    EXPECT_EQ(QvDeviceManager::sharedInstance().devices().size(), before + 1);
    EXPECT_EQ(device->name.value(), std::to_string(device->deviceId));
    EXPECT_EQ(alert->label()->text(), "Device found and added!");
    EXPECT_EQ(alert->message(), "ID:UID-4711\nADDR:192.0.2.7:5050\nERR:10");
    EXPECT_EQ(search->closed, std::vector<std::string>{"4711#9"});
    EXPECT_EQ(added.count, 1);
    EXPECT_TRUE(driver.tapAlertButton("Cancel"));
}

}  // namespace
