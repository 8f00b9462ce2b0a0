#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class Devices : public UITableViewController {
public:
    Devices() : UITableViewController(UITableViewStyle::Grouped) {}
    std::vector<std::string> names{"Garage", "Porch", "Yard"};
    std::vector<std::string> log;
    int numberOfSectionsInTableView(UITableView*) override { return 2; }
    int numberOfRowsInSection(UITableView*, int section) override {
        return section == 0 ? static_cast<int>(names.size()) : 1;
    }
    std::string titleForHeaderInSection(UITableView*, int section) override {
        return section == 0 ? "Devices" : "About";
    }
    UITableViewCell* cellForRowAtIndexPath(UITableView* t, const NSIndexPath& p) override {
        EXPECT_EQ(t->dequeueReusableCellWithIdentifier("cell"), nullptr);
        auto* cell = new UITableViewCell(p.section == 0 ? UITableViewCellStyle::Subtitle : UITableViewCellStyle::Value1);
        cell->textLabel()->setText(p.section == 0 ? names[p.row] : "Version");
        cell->detailTextLabel()->setText(p.section == 0 ? "online" : "1.0");
        if (p.section == 0) cell->setAccessoryType(UITableViewCellAccessoryType::DetailDisclosureButton);
        return cell;
    }
    CGFloat heightForRowAtIndexPath(UITableView*, const NSIndexPath& p) override { return p.section == 0 ? 60 : -1; }
    bool canEditRowAtIndexPath(UITableView*, const NSIndexPath& p) override { return p.section == 0; }
    void commitEditingStyle(UITableView* t, UITableViewCellEditingStyle, const NSIndexPath& p) override {
        log.push_back("delete " + names[p.row]);
        names.erase(names.begin() + p.row);
        t->deleteRowsAtIndexPaths({p}, UITableViewRowAnimation::Fade);
    }
    void didSelectRowAtIndexPath(UITableView*, const NSIndexPath& p) override {
        log.push_back("select " + std::to_string(p.section) + "." + std::to_string(p.row));
    }
    void accessoryButtonTappedForRowWithIndexPath(UITableView*, const NSIndexPath& p) override {
        log.push_back("accessory " + std::to_string(p.row));
    }
};

TEST(TableViewTest, RowsSectionsAndSelection) {
    KitTestDriver driver;
    auto screen = std::make_shared<Devices>();
    driver.setRoot(screen);
    UITableView* t = screen->tableView();
    ASSERT_EQ(t->numberOfSections(), 2);
    EXPECT_EQ(t->numberOfRowsInSection(0), 3);
    EXPECT_EQ(t->rectForRowAtIndexPath({0, 1}).size.height, 60);
    EXPECT_EQ(t->rectForRowAtIndexPath({1, 0}).size.height, 44);
    EXPECT_EQ(t->rectForRowAtIndexPath({0, 1}).origin.y, t->rectForRowAtIndexPath({0, 0}).origin.y + 60);
    auto texts = driver.visibleTexts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Devices");
    EXPECT_EQ(texts[1], "Garage");
    ASSERT_TRUE(driver.pickRow("tableView", 1, 0)) << driver.lastError();
    ASSERT_TRUE(driver.pickRow("tableView", 0, 2)) << driver.lastError();
    EXPECT_EQ(screen->log, (std::vector<std::string>{"select 1.0", "select 0.2"}));
    EXPECT_EQ(t->indexPathForSelectedRow(), (NSIndexPath{0, 2}));
    // The selection set in code tells nobody.
    t->selectRowAtIndexPath({0, 0}, false, UITableViewScrollPosition::None);
    EXPECT_EQ(screen->log.size(), 2u);
    UIView* accessory = t->cellForRowAtIndexPath({0, 1})->viewWithName("accessoryButton");
    ASSERT_TRUE(driver.tapView(accessory)) << driver.lastError();
    EXPECT_EQ(screen->log.back(), "accessory 1");
}

TEST(TableViewTest, EditingDeleteAsksTheDataSourceForEditableRowsOnly) {
    KitTestDriver driver;
    auto screen = std::make_shared<Devices>();
    driver.setRoot(screen);
    UITableView* t = screen->tableView();
    t->setEditing(true, true);
    driver.settle();
    EXPECT_EQ(t->cellForRowAtIndexPath({1, 0})->viewWithName("deleteControl"), nullptr);
    UITableViewCell* porch = t->cellForRowAtIndexPath({0, 1});
    ASSERT_TRUE(driver.tapView(porch->viewWithName("deleteControl"))) << driver.lastError();
    EXPECT_TRUE(porch->showsDeleteConfirmation());
    EXPECT_TRUE(screen->log.empty());
    ASSERT_TRUE(driver.tap("deleteButton")) << driver.lastError();
    EXPECT_EQ(screen->log, (std::vector<std::string>{"delete Porch"}));
    EXPECT_EQ(t->numberOfRowsInSection(0), 2);
    EXPECT_EQ(t->cellForRowAtIndexPath({0, 1})->textLabel()->text(), "Yard");
    // Rows made after the reload are still in editing mode.
    EXPECT_NE(t->cellForRowAtIndexPath({0, 1})->viewWithName("deleteControl"), nullptr);
    t->setEditing(false);
    EXPECT_EQ(t->cellForRowAtIndexPath({0, 1})->viewWithName("deleteControl"), nullptr);
}

TEST(TableViewTest, AReloadWithFewerRowsBringsAnOffsetPastTheEndBack) {
    KitTestDriver driver;
    auto screen = std::make_shared<Devices>();
    for (int i = 0; i < 40; ++i) screen->names.push_back("Camera " + std::to_string(i));
    driver.setRoot(screen);
    UITableView* t = screen->tableView();
    t->reloadData();
    const CGFloat end = t->contentSize().height - t->bounds().size.height;
    ASSERT_GT(end, 0);
    t->setContentOffset(CGPoint{0, end}, false);
    // Most rows gone: the few left are in sight again, not above the view.
    screen->names.resize(2);
    t->reloadData();
    driver.settle();
    EXPECT_EQ(t->contentOffset().y, 0);
    ASSERT_TRUE(driver.pickRow("tableView", 0, 1)) << driver.lastError();
    EXPECT_EQ(screen->log.back(), "select 0.1");
    // An offset within the content stays where it is.
    screen->names.assign(40, "Camera");
    t->reloadData();
    t->setContentOffset(CGPoint{0, 100}, false);
    screen->names.resize(30);
    t->reloadData();
    EXPECT_EQ(t->contentOffset().y, 100);
}

// A reload that comes while a finger is down on a row (a timer's refresh, an
// answer from the network) waits for the release: the row still gets its
// tap, and the table shows the new rows once the finger is up. A reload asked
// for by the release's own action happens at once.
TEST(TableViewTest, AReloadDuringATouchWaitsForTheReleaseAndTheTapCounts) {
    KitTestDriver driver;
    auto screen = std::make_shared<Devices>();
    driver.setRoot(screen);
    UITableView* t = screen->tableView();
    UIView* porch = t->cellForRowAtIndexPath({0, 1});
    ASSERT_NE(porch, nullptr);
    const CGRect r = porch->convertRectToView(porch->bounds(), nullptr);
    const CGPoint c{r.origin.x + r.size.width / 3, r.origin.y + r.size.height / 2};
    driver.press(c);
    screen->names[2] = "Gate";
    t->reloadData();
    EXPECT_EQ(t->cellForRowAtIndexPath({0, 1}), porch) << "the touched row stays";
    driver.release(c);
    EXPECT_EQ(screen->log, (std::vector<std::string>{"select 0.1"}));
    EXPECT_NE(t->cellForRowAtIndexPath({0, 1}), porch) << "reloaded once the finger is up";
    EXPECT_EQ(t->cellForRowAtIndexPath({0, 2})->textLabel()->text(), "Gate");
    // Without a finger down the reload is immediate.
    screen->names[2] = "Shed";
    t->reloadData();
    EXPECT_EQ(t->cellForRowAtIndexPath({0, 2})->textLabel()->text(), "Shed");
}

}  // namespace
