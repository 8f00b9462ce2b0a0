#include "ui/tablet/DevicePanelBarHD.h"

#include <memory>
#include <utility>

#include "platform/text/Localization.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"

namespace lumora {

UIButton* DevicePanelBarHD::makeButton(const std::string& name, const std::string& image, const char* titleKey,
                                       const CGSize& size, std::function<void()> tap) {
    auto* b = new UIButton(CGRect{{0, 0}, size});
    b->setBackgroundImage(UIImage::imageNamed(image + ".png"), UIControlStateNormal);
    b->setBackgroundImage(UIImage::imageNamed(image + "_clk.png"), UIControlStateHighlighted);
    if (titleKey) {
        b->setTitle(Localization::string(titleKey));
        b->setFont(UIFont::fontWithName("Verdana-Bold", 12));
    }
    b->addTarget(nullptr, [tap = std::move(tap)](UIControl*, UIEvent*) { tap(); }, UIControlEventTouchUpInside);
    setViewName(b, name);
    return b;
}

UISegmentedControl* DevicePanelBarHD::makeModeSegment(std::function<void()> changed) {
    auto* segment = new UISegmentedControl({"UID", "IP"});
    segment->setFrame(CGRect{{0, 0}, {100, 30}});
    segment->tintColor = UIColor::colorWithRed(0.1, 0.35, 0.8, 1);
    segment->setSelectedSegmentIndex(0);
    segment->addTarget(nullptr, [changed = std::move(changed)](UIControl*, UIEvent*) { changed(); },
                       UIControlEventValueChanged);
    setViewName(segment, "segmentedControl");
    return segment;
}

void DevicePanelBarHD::setItems(UIToolbar* bar, const std::vector<UIView*>& views, bool animated) {
    if (!bar) return;
    std::vector<std::shared_ptr<UIBarButtonItem>> items;
    for (UIView* v : views) {
        if (!v) continue;
        if (!items.empty()) items.push_back(UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr));
        items.push_back(UIBarButtonItem::withCustomView(v));
    }
    bar->setItems(std::move(items), animated);
    // Shown only once in the bar (a view out of any tree would open a window).
    for (UIView* v : views)
        if (v) v->setHidden(false);
}

}  // namespace lumora
