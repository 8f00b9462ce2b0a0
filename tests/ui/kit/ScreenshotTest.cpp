#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/graphics/RGBAImage.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIProgressView.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UISlider.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UITableViewController.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIToolbar.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

// A 64x48 picture: red left half, blue right half, as a decoder delivers one.
RGBAImage picture() {
    RGBAImage img;
    img.width = 64;
    img.height = 48;
    img.pixels.resize(img.rowBytes() * img.height);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            uint8_t* p = img.pixels.data() + y * img.rowBytes() + x * 4;
            p[0] = x < 32 ? 255 : 0;
            p[2] = x < 32 ? 0 : 255;
            p[3] = 255;
        }
    return img;
}

class Gallery : public UIViewController {
public:
    void viewDidLoad() override {
        setTitle("Gallery");
        navigationItem().setRightBarButtonItem(UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Done, nullptr));
        UIView* v = view();
        v->setBackgroundColor(UIColor::colorWithWhite(0.93, 1));
        auto* label = new UILabel(CGRectMake(10, 10, 140, 24));
        label->setText("A label that is far too long to fit");
        v->addSubview(label);
        auto* middle = new UILabel(CGRectMake(160, 10, 150, 24));
        middle->setText("camera-front-door-0001.mp4");
        middle->setLineBreakMode(UILineBreakMode::MiddleTruncation);
        v->addSubview(middle);
        auto* button = new UIButton(CGRectMake(10, 44, 140, 37), UIButtonType::RoundedRect);
        button->setTitle("Add device");
        v->addSubview(button);
        auto* sw = new UISwitch(CGRectMake(170, 50, 0, 0));
        sw->setOn(true);
        v->addSubview(sw);
        auto* seg = new UISegmentedControl({"1", "4", "9"});
        seg->setFrame(CGRectMake(10, 92, 300, 30));
        seg->setSelectedSegmentIndex(1);
        v->addSubview(seg);
        auto* slider = new UISlider(CGRectMake(10, 130, 300, 23));
        slider->setValue(0.3f);
        v->addSubview(slider);
        auto* progress = new UIProgressView();
        progress->setFrame(CGRectMake(10, 165, 300, 9));
        progress->setProgress(0.6f);
        v->addSubview(progress);
        auto* field = new UITextField(CGRectMake(10, 185, 300, 31));
        field->setBorderStyle(UITextBorderStyle::RoundedRect);
        field->setPlaceholder("Device name");
        v->addSubview(field);
        auto* video = new UIImageView(CGRectMake(10, 226, 128, 96));
        setViewName(video, "video");
        video->setPicture(picture());
        v->addSubview(video);
        auto* spinner = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::Gray);
        spinner->setFrame(CGRectMake(160, 260, 20, 20));
        spinner->startAnimating();
        v->addSubview(spinner);
        auto* bar = new UIToolbar(CGRectMake(0, 392, 320, 44));
        bar->setItems({UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Edit, nullptr),
                       UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr),
                       UIBarButtonItem::withTitle("Play", UIBarButtonItemStyle::Bordered, nullptr)});
        v->addSubview(bar);
    }
};

QImage render(bool withAlert) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<UINavigationController>(std::make_shared<Gallery>()));
    if (withAlert) {
        (new UIAlertView("Delete device?", "Its recordings stay.", nullptr, "Cancel", {"Delete"}))->show();
        driver.settle();
    }
    if (const char* dir = std::getenv("LUMORA_SCREENSHOT_DIR"))
        driver.saveScreenshot(std::string(dir) + (withAlert ? "/gallery-alert.png" : "/gallery.png"));
    return driver.screenshot();
}

TEST(ScreenshotTest, PicturesAreTheSameEveryTime) {
    QImage first = render(false);
    QImage second = render(false);
    ASSERT_EQ(first.size(), QSize(320, 480));
    EXPECT_TRUE(first == second);
    EXPECT_FALSE(first == render(true));
}

TEST(ScreenshotTest, ReadsBackVideoPicturesAndKnownPixels) {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<UINavigationController>(std::make_shared<Gallery>()));
    UIView* video = driver.find("video");
    ASSERT_NE(video, nullptr);
    CGPoint origin = video->pointInWindow(CGPoint{0, 0});
    // The picture is scaled to 128x96: red on the left, blue on the right.
    EXPECT_EQ(driver.pixel(static_cast<int>(origin.x) + 20, static_cast<int>(origin.y) + 40), 0xFF0000FFu);
    EXPECT_EQ(driver.pixel(static_cast<int>(origin.x) + 100, static_cast<int>(origin.y) + 40), 0x0000FFFFu);
    // The background of the screen.
    EXPECT_EQ(driver.pixel(300, 300), 0xEDEDEDFFu);
    auto texts = driver.visibleTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Gallery");
    EXPECT_EQ(texts[1], "Done");
    EXPECT_EQ(texts[2].substr(texts[2].size() - 3), "\u2026");
    EXPECT_NE(driver.dumpTree().find("\"video\""), std::string::npos);
}

TEST(ScreenshotTest, TallPhoneProfileOpensATallerWindow) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Phone568, 1, true});
    EXPECT_EQ(driver.window()->frame().size, (CGSize{320, 568}));
    EXPECT_EQ(driver.screenshot().size(), QSize(320, 568));
}

}  // namespace

namespace {

class Settings : public UITableViewController {
public:
    Settings() : UITableViewController(UITableViewStyle::Grouped) { setTitle("Settings"); }
    int numberOfSectionsInTableView(UITableView*) override { return 2; }
    int numberOfRowsInSection(UITableView*, int s) override { return s == 0 ? 3 : 1; }
    std::string titleForHeaderInSection(UITableView*, int s) override { return s == 0 ? "Live view" : "About"; }
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& p) override {
        static const char* names[] = {"Auto play", "Sound", "Layout"};
        auto* cell = new UITableViewCell(UITableViewCellStyle::Value1);
        cell->textLabel()->setText(p.section == 0 ? names[p.row] : "Version");
        cell->detailTextLabel()->setText(p.section == 0 ? (p.row == 2 ? "4 panes" : "") : "1.0");
        if (p.section == 0 && p.row < 2) {
            auto* sw = new UISwitch();
            sw->setOn(p.row == 0);
            cell->setAccessoryView(sw);
        } else if (p.section == 0) {
            cell->setAccessoryType(UITableViewCellAccessoryType::DisclosureIndicator);
        }
        return cell;
    }
};

QImage renderSettings() {
    KitTestDriver driver;
    driver.setRoot(std::make_shared<UINavigationController>(std::make_shared<Settings>()));
    (new UIActionSheet("Share the snapshot", nullptr, "Cancel", "Delete", {"Save to album"}))
        ->showInView(driver.window());
    driver.settle();
    if (const char* dir = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(dir) + "/settings.png");
    return driver.screenshot();
}

TEST(ScreenshotTest, TablesAndSheetsDrawTheSameEveryTime) {
    QImage first = renderSettings();
    EXPECT_TRUE(first == renderSettings());
}

}  // namespace
