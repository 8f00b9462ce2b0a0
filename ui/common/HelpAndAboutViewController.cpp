#include "ui/common/HelpAndAboutViewController.h"

#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "platform/text/Localization.h"
#include "ui/common/HelpViewController.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UITableViewCell.h"

namespace lumora {

void HelpAndAboutViewController::loadView() {
    auto* t = new UITableView(UIScreen::mainScreen().bounds(), UITableViewStyle::Grouped);
    setViewName(t, "tableView");
    t->dataSource = this;
    t->setDelegate(this);
    table_ = t;
    setView(t);
}

void HelpAndAboutViewController::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    if (auto* nav = navigationController()) nav->navigationBar()->setBarStyle(UIBarStyle::Black);
    std::weak_ptr<UIViewController> weak = weak_from_this();
    navigationItem().setLeftBarButtonItem(UIBarButtonItem::withTitle(
        Localization::string("Cancel_Button"), UIBarButtonItemStyle::Bordered, [weak](UIBarButtonItem&) {
            if (auto self = std::dynamic_pointer_cast<HelpAndAboutViewController>(weak.lock())) self->closeButtonTapped();
        }));
    auto* heart = new UIButton(CGRectMake(0, 0, 40, 40));
    setViewName(heart, "rateButton");
    heart->setBackgroundImage(UIImage::imageNamed("xin.png"));
    heart->addTarget(this, [this](UIControl*, UIEvent*) { rate(); }, UIControlEventTouchUpInside);
    navigationItem().setRightBarButtonItem(UIBarButtonItem::withCustomView(heart));
    navigationItem().setTitle(Localization::string("helptitle"));
    if (InterfaceIdiom::isPad() && table_) {
        // The tablet's look: the settings' dark background behind the rows.
        table_->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("ltoolbarbg.png")));
        table_->separatorColor = UIColor::colorWithWhite(0.35, 1);
    }
    if (table_) table_->reloadData();
}

UIView* HelpAndAboutViewController::viewForHeaderInSection(UITableView* table, int section) {
    if (!InterfaceIdiom::isPad()) return nullptr;
    auto* label = new UILabel(CGRectMake(0, 0, table ? table->bounds().size.width : 1024, 44));
    label->setText("   " + titleForHeaderInSection(table, section));
    label->setTextColor(UIColor::colorWithWhite(0.85, 1));
    label->setFont(UIFont::boldSystemFontOfSize(18));
    label->setBackgroundColor(UIColor::clearColor());
    return label;
}

void HelpAndAboutViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    // Back from help or feedback: the row tapped only marked the tap.
    if (table_)
        if (auto sel = table_->indexPathForSelectedRow()) table_->deselectRowAtIndexPath(*sel, false);
}

bool HelpAndAboutViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    if (InterfaceIdiom::isPad())
        return o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
    return true;
}

std::string HelpAndAboutViewController::titleForHeaderInSection(UITableView*, int section) {
    return Localization::string(section == 0 ? "helptitle" : "version");
}

UITableViewCell* HelpAndAboutViewController::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    UITableViewCell* cell = table ? table->dequeueReusableCellWithIdentifier("FileCell") : nullptr;
    if (!cell) cell = new UITableViewCell(UITableViewCellStyle::Subtitle, "FileCell");
    setViewName(cell, "helpRow" + std::to_string(path.section) + "_" + std::to_string(path.row));
    cell->textLabel()->setFont(UIFont::fontWithName("Verdana-Bold", InterfaceIdiom::isPad() ? 18 : 14));
    if (InterfaceIdiom::isPad()) {
        cell->setBackgroundColor(UIColor::colorWithRed(0.22, 0.23, 0.27, 1));
        cell->textLabel()->setTextColor(UIColor::whiteColor());
    }
    if (path.section == 0) {
        cell->textLabel()->setText(Localization::string(path.row == 0 ? "help" : "feedback"));
        if (cell->detailTextLabel()) cell->detailTextLabel()->setFont(UIFont::fontWithName("Verdana", 12));
    } else {
        cell->textLabel()->setText(kVersion);
    }
    return cell;
}

void HelpAndAboutViewController::didSelectRowAtIndexPath(UITableView*, const NSIndexPath& path) {
    if (path.section != 0 || path.row > 1) return;
    auto help = std::make_shared<HelpViewController>();
    help->aboutFlag = path.row == 1 ? 1 : 0;
    if (auto* nav = navigationController()) nav->pushViewController(help, true);
}

void HelpAndAboutViewController::closeButtonTapped() {
    if (delegate) delegate->helpControllerDidClose(this);
}

void HelpAndAboutViewController::rate() {
    const std::string& url = Config::shared().storeUrl;
    if (!url.empty()) UIApplication::sharedApplication().openURL(url);
}

}  // namespace lumora
