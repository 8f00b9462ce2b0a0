#include "ui/tablet/SysConfigurationViewControllerHD.h"

#include <string>
#include <vector>

#include "app/core/QvApplicationPreference.h"
#include "platform/text/Localization.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

namespace {

using Screen = SysConfigurationViewControllerHD;

constexpr CGFloat kSettingsToolbarHeight = 44;
constexpr CGFloat kTableWidth = 720;
constexpr CGFloat kRowHeight = 64;
constexpr CGFloat kControlX = 300;
// The controls, centred in their rows at kControlX.
constexpr CGFloat kSegmentHeight = 34;
constexpr CGSize kSwitchSize{79, 27};
// The tool bar's titled buttons.
constexpr CGRect kBarButtonFrame{{0, 0}, {60, 32}};

// One row of the table, as its cell file lays it out and the screen fills it.
struct SettingRow {
    const char* cellFile;
    const char* labelKey;
    int controlTag;
    const char* controlName;
    std::vector<std::string> segmentKeys;  // segment titles (keys); empty for a switch
};

const SettingRow& settingRow(int row) {
    static const SettingRow rows[Screen::kRowCount] = {
        {"TitledSegmentedCell5", "Video_views", 2, "layoutSegment", {}},
        {"TitledSegmentedCell2", "Live_preference", 2, "preferenceSegment", {"Real_TIME", "Quality"}},
        {"TitledSegmentedCell6", "VIEW", 4, "modelSegment", {"RESIZE", "FULL"}},
        {"SwitchedCell", "Skip", 2, "skipHpageSwitch", {}},
        {"SwitchedCell", "AUTOPLAY", 2, "autoPlaySwitch", {}},
    };
    return rows[row];
}

// A cell with its label (tag 1) and a control under the given tag.
UITableViewCell* titledCell(UIView* control, int tag) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Default, "Cell");
    cell->setFrame(CGRect{{0, 0}, {kTableWidth, kRowHeight}});
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    auto* label = new UILabel(CGRect{{20, 12}, {kControlX - 30, kRowHeight - 24}});
    label->setTag(Screen::kLabelTag);
    label->setTextColor(UIColor::whiteColor());
    label->setFont(UIFont::fontWithName("Verdana", 16));
    label->setBackgroundColor(UIColor::clearColor());
    cell->contentView()->addSubview(label);
    control->setTag(tag);
    cell->contentView()->addSubview(control);
    return cell;
}

UISegmentedControl* segmented(std::vector<std::string> titles, CGFloat width) {
    auto* s = new UISegmentedControl(std::move(titles));
    s->setFrame(CGRect{{kControlX, (kRowHeight - kSegmentHeight) / 2}, {width, kSegmentHeight}});
    return s;
}

// The cell files: each hands its cell to the owner's outlet.
UIView* buildSegmentedCell5(void* owner) {
    auto* cell = titledCell(segmented({"1", "4", "6", "9", "16"}, 400), 2);
    if (owner) static_cast<Screen*>(owner)->segment5Cell = cell;
    return cell;
}

UIView* buildSegmentedCell2(void* owner) {
    auto* cell = titledCell(segmented({"", ""}, 260), 2);
    if (owner) static_cast<Screen*>(owner)->segment2Cell = cell;
    return cell;
}

UIView* buildSegmentedCell6(void* owner) {
    auto* cell = titledCell(segmented({"", ""}, 260), 4);
    if (owner) static_cast<Screen*>(owner)->segment6Cell = cell;
    return cell;
}

UIView* buildSwitchedCell(void* owner) {
    auto* cell = titledCell(new UISwitch(CGRect{{kControlX, (kRowHeight - kSwitchSize.height) / 2}, kSwitchSize}), 2);
    if (owner) static_cast<Screen*>(owner)->switcherCell = cell;
    return cell;
}

// The screen: the tool bar on top, the table in the middle.
UIView* buildSysConfiguration(void*) {
    const CGRect screen = UIScreen::mainScreen().bounds();
    // Landscape: the long side is the width.
    const CGFloat W = std::max(screen.size.width, screen.size.height);
    const CGFloat H = std::min(screen.size.width, screen.size.height);
    auto* root = new UIView(CGRect{{0, 0}, {W, H}});
    setViewName(root, Screen::kInterfaceName);
    auto* bar = new TranslucentToolbar(CGRect{{0, 0}, {W, kSettingsToolbarHeight}});
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    setViewName(bar, "toolBar");
    root->addSubview(bar);
    // The background's stripes are a row high and start at the top: the
    // table starts on a stripe so that each row sits on one.
    auto* table = new UITableView(
        CGRect{{(W - kTableWidth) / 2, kRowHeight * 2}, {kTableWidth, kRowHeight * Screen::kRowCount}});
    table->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    setViewName(table, "settingTable");
    root->addSubview(table);
    return root;
}

}  // namespace

void SysConfigurationViewControllerHD::registerInterface() {
    static const bool registered = [] {
        InterfaceFile::registerFile(kInterfaceName, buildSysConfiguration);
        InterfaceFile::registerFile("TitledSegmentedCell5", buildSegmentedCell5);
        InterfaceFile::registerFile("TitledSegmentedCell2", buildSegmentedCell2);
        InterfaceFile::registerFile("TitledSegmentedCell6", buildSegmentedCell6);
        InterfaceFile::registerFile("SwitchedCell", buildSwitchedCell);
        return true;
    }();
    (void)registered;
}

SysConfigurationViewControllerHD::SysConfigurationViewControllerHD() = default;

SysConfigurationViewControllerHD::~SysConfigurationViewControllerHD() {
    if (settingTable) {
        settingTable->dataSource = nullptr;
        settingTable->setDelegate(nullptr);
    }
}

void SysConfigurationViewControllerHD::loadView() {
    registerInterface();
    UIView* root = InterfaceFile::load(kInterfaceName, this);
    if (!root) root = new UIView(UIScreen::mainScreen().bounds());
    setView(root);
    toolBar = dynamic_cast<TranslucentToolbar*>(root->viewWithName("toolBar"));
    settingTable = dynamic_cast<UITableView*>(root->viewWithName("settingTable"));
    autoPlaySwitch = dynamic_cast<UISwitch*>(root->viewWithName("autoPlaySwitch"));
}

UIButton* SysConfigurationViewControllerHD::makeBarButton(const std::string& titleKey, const std::string& name,
                                                          void (SysConfigurationViewControllerHD::*action)()) {
    auto* b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setFrame(kBarButtonFrame);
    b->setBackgroundImage(UIImage::imageNamed("none.png"), UIControlStateNormal);
    b->setBackgroundImage(UIImage::imageNamed("none_clk.png"), UIControlStateHighlighted);
    b->setTitle(Localization::string(titleKey), UIControlStateNormal);
    b->setFont(UIFont::fontWithName("Verdana-Bold", 12));
    setViewName(b, name);
    std::weak_ptr<UIViewController> weak = weak_from_this();
    b->addTarget(this, [weak, action](UIControl*, UIEvent*) {
        if (auto self = std::dynamic_pointer_cast<SysConfigurationViewControllerHD>(weak.lock())) ((*self).*action)();
    }, UIControlEventTouchUpInside);
    return b;
}

void SysConfigurationViewControllerHD::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    if (UIView* v = view()) v->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("ltoolbarbg.png")));

    doneButton_ = makeBarButton("CLose_BTN", "doneButton", &SysConfigurationViewControllerHD::doneButtonTapped);
    cancelButton_ = makeBarButton("CANCEL", "cancelButton", &SysConfigurationViewControllerHD::cancelButtonTapped);
    if (toolBar) {
        toolBar->setItems({UIBarButtonItem::withCustomView(cancelButton_),
                           UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr),
                           UIBarButtonItem::withCustomView(doneButton_)},
                          true);
    } else {
        // Without a bar the buttons would belong to nothing.
        delete doneButton_.data();
        delete cancelButton_.data();
    }

    if (settingTable) {
        settingTable->setBackgroundColor(UIColor::clearColor());
        settingTable->separatorColor = UIColor::clearColor();
        settingTable->dataSource = this;
        settingTable->setDelegate(this);
        settingTable->reloadData();
    }
}

UITableViewCell* SysConfigurationViewControllerHD::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    if (path.row < 0 || path.row >= kRowCount) return nullptr;
    const SettingRow& row = settingRow(path.row);
    UITableViewCell* cell = table ? table->dequeueReusableCellWithIdentifier("Cell") : nullptr;
    if (!cell) {
        WeakView<UITableViewCell>* outlets[kRowCount] = {&segment5Cell, &segment2Cell, &segment6Cell, &switcherCell,
                                                         &switcherCell};
        WeakView<UITableViewCell>& outlet = *outlets[path.row];
        outlet = nullptr;
        UIView* loaded = InterfaceFile::load(row.cellFile, this);
        cell = outlet.data();
        // Anything the file made beside its cell is not shown.
        if (loaded && loaded != cell) delete loaded;
    }
    if (!cell) return nullptr;
    cell->setBackgroundColor(UIColor::clearColor());
    setViewName(cell, "settingRow" + std::to_string(path.row));
    if (auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(kLabelTag)))
        label->setText(Localization::string(row.labelKey));
    UIView* control = cell->viewWithTag(row.controlTag);
    if (control) setViewName(control, row.controlName);

    const QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    auto* segment = dynamic_cast<UISegmentedControl*>(control);
    if (segment)
        for (size_t i = 0; i < row.segmentKeys.size() && static_cast<int>(i) < segment->numberOfSegments(); ++i)
            segment->setTitle(Localization::string(row.segmentKeys[i]), static_cast<int>(i));
    switch (path.row) {
    case 0:
        layoutSegment = segment;
        if (segment) {
            const int32_t style = prefs.layoutStyle();
            segment->setSelectedSegmentIndex(style >= 0 && style <= 4 ? style : UISegmentedControl::kNoSegment);
        }
        break;
    case 1:
        preferenceSegment = segment;
        if (segment) segment->setSelectedSegmentIndex(prefs.livePreference() != 0 ? 1 : 0);
        break;
    case 2:
        modelSegment = segment;
        if (segment) segment->setSelectedSegmentIndex(prefs.isFullScreen() ? 1 : 0);
        break;
    case 3:
        skipHpageSwitch = dynamic_cast<UISwitch*>(control);
        if (skipHpageSwitch) skipHpageSwitch->setOn(prefs.skipHomePage());
        break;
    default:
        // Resumes the tiles shown last whenever the live view appears again.
        autoPlaySwitch = dynamic_cast<UISwitch*>(control);
        if (autoPlaySwitch) autoPlaySwitch->setOn(prefs.autoPlay());
        break;
    }
    return cell;
}

void SysConfigurationViewControllerHD::doneButtonTapped() {
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    // Only what the screen shows is written: a setting without a control
    // here (auto play, unless the layout holds its switch) keeps its value.
    if (layoutSegment) {
        const int style = layoutSegment->selectedSegmentIndex();
        if (style >= 0 && style <= 4) prefs.setLayoutStyle(style);
    }
    if (preferenceSegment) prefs.setLivePreference(preferenceSegment->selectedSegmentIndex() != 0 ? 1 : 0);
    if (modelSegment) prefs.setIsFullScreen(modelSegment->selectedSegmentIndex() != 0);
    if (skipHpageSwitch) prefs.setSkipHomePage(skipHpageSwitch->isOn());
    if (autoPlaySwitch) prefs.setAutoPlay(autoPlaySwitch->isOn());
    // The delegate may dismiss (and release) this screen: keep it until done.
    auto keep = weak_from_this().lock();
    if (delegate) delegate->configViewControllerDidCommit(this);
    prefs.saveApplicationPreference();
}

void SysConfigurationViewControllerHD::cancelButtonTapped() {
    auto keep = weak_from_this().lock();
    if (delegate) delegate->configViewControllerDidClose(this);
}

}  // namespace lumora
