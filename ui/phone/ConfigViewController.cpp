#include "ui/phone/ConfigViewController.h"

#include "app/core/QvApplicationPreference.h"
#include "platform/text/Localization.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"

namespace lumora {

namespace {

// The rows' segmented controls: one height, two-choice ones one width.
constexpr CGFloat kSegmentHeight = 30;
constexpr CGFloat kTwoChoiceWidth = 140;

UISegmentedControl* makeSegment(const std::string& name, const std::vector<std::string>& titles, CGFloat width) {
    auto* s = new UISegmentedControl(titles);
    setViewName(s, name);
    s->setFrame(CGRectMake(0, 0, width, kSegmentHeight));
    return s;
}

}  // namespace

ConfigViewController::ConfigViewController() = default;

ConfigViewController::~ConfigViewController() {
    // The hidden control never joins the view tree.
    if (innergetMainSegment_ && !innergetMainSegment_->superview()) delete innergetMainSegment_.data();
}

void ConfigViewController::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    if (auto* nav = navigationController()) nav->navigationBar()->setBarStyle(UIBarStyle::Black);
    navigationItem().setTitle(Localization::string("SysSetting"));
    std::weak_ptr<UIViewController> weak = weak_from_this();
    navigationItem().setRightBarButtonItem(UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Done, [weak](UIBarButtonItem&) {
        if (auto self = std::dynamic_pointer_cast<ConfigViewController>(weak.lock())) self->doneButtonTapped();
    }));
    navigationItem().setLeftBarButtonItem(UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Cancel, [weak](UIBarButtonItem&) {
        if (auto self = std::dynamic_pointer_cast<ConfigViewController>(weak.lock())) self->cancelButtonTapped();
    }));
    layoutSegment_ = makeSegment("layoutSegment", {"1", "4"}, 80);
    preferenceSegment_ =
        makeSegment("preferenceSegment", {Localization::string("Real_TIME"), Localization::string("Quality")}, kTwoChoiceWidth);
    fullSegment_ = makeSegment("fullSegment", {Localization::string("RESIZE"), Localization::string("FULL")}, kTwoChoiceWidth);
    innergetMainSegment_ =
        makeSegment("innergetMainSegment", {Localization::string("INNERGETMAIN"), Localization::string("INNERGETSub")}, 200);
}

UITableViewCell* ConfigViewController::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    UITableViewCell* cell = table ? table->dequeueReusableCellWithIdentifier("Cell") : nullptr;
    if (!cell) cell = new UITableViewCell(UITableViewCellStyle::Default, "Cell");
    cell->textLabel()->setFont(UIFont::fontWithName("Verdana", 14));
    const QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    UISegmentedControl* control = nullptr;
    switch (path.row) {
    case 0:
        cell->textLabel()->setText(Localization::string("Video_views"));
        control = layoutSegment_;
        if (control) control->setSelectedSegmentIndex(prefs.layoutStyle() != 0 ? 1 : 0);
        break;
    case 1:
        cell->textLabel()->setText(Localization::string("Live_preference"));
        control = preferenceSegment_;
        if (control) control->setSelectedSegmentIndex(prefs.livePreference() != 0 ? 1 : 0);
        break;
    case 2:
        cell->textLabel()->setText(Localization::string("VIEW"));
        control = fullSegment_;
        if (control) control->setSelectedSegmentIndex(prefs.isFullScreen() ? 1 : 0);
        break;
    default:
        break;
    }
    setViewName(cell, "configRow" + std::to_string(path.row));
    if (control) cell->setAccessoryView(control);
    return cell;
}

void ConfigViewController::doneButtonTapped() {
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    // Only what the screen shows: the mode preference, auto play and the
    // main-stream flag have no control here and keep their stored values.
    if (layoutSegment_) {
        int32_t style = layoutSegment_->selectedSegmentIndex() > 0 ? 1 : 0;
        if (style != prefs.layoutStyle()) prefs.setLayoutStyle(style);
    }
    if (preferenceSegment_) prefs.setLivePreference(preferenceSegment_->selectedSegmentIndex() > 0 ? 1 : 0);
    if (fullSegment_) prefs.setIsFullScreen(fullSegment_->selectedSegmentIndex() > 0);
    prefs.saveApplicationPreference();
    if (delegate) delegate->configViewControllerDidCommit(this);
}

void ConfigViewController::cancelButtonTapped() {
    if (delegate) delegate->configViewControllerDidClose(this);
}

}  // namespace lumora
