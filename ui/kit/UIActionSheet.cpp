#include "ui/kit/UIActionSheet.h"

#include "ui/kit/UIApplication.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

UIActionSheet::UIActionSheet(const std::string& title, UIActionSheetDelegate* d, const std::string& cancelTitle,
                             const std::string& destructiveTitle, const std::vector<std::string>& others)
    : UIView(CGRectZero), delegate(d), title_(title) {
    setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    auto* sheet = new UIView(CGRectZero);
    setViewName(sheet, "actionSheet");
    sheet->setBackgroundColor(UIColor::colorWithRed(0.15, 0.17, 0.22, 0.96));
    sheet_ = sheet;
    addSubview(sheet);
    auto* t = new UILabel(CGRectZero);
    setViewName(t, "sheetTitle");
    t->setText(title);
    t->setTextColor(UIColor::colorWithWhite(0.85, 1));
    t->setFont(UIFont::systemFontOfSize(14));
    t->setTextAlignment(UITextAlignment::Center);
    titleLabel_ = t;
    sheet->addSubview(t);
    if (!destructiveTitle.empty()) destructiveIndex_ = addButton(destructiveTitle, true, false);
    for (const auto& o : others) {
        int i = addButton(o, false, false);
        if (firstOther_ < 0) firstOther_ = i;
    }
    if (!cancelTitle.empty()) cancelIndex_ = addButton(cancelTitle, false, true);
}

UIActionSheet* UIActionSheet::topmost(UIView* window) {
    auto* w = dynamic_cast<UIWindow*>(window);
    if (!w) return nullptr;
    std::vector<UIView*> overlays = w->overlays();
    for (auto it = overlays.rbegin(); it != overlays.rend(); ++it)
        if (auto* s = dynamic_cast<UIActionSheet*>(*it); s && s->shown_) return s;
    return nullptr;
}

int UIActionSheet::addButton(const std::string& title, bool destructive, bool cancel) {
    int index = static_cast<int>(buttons_.size());
    buttons_.push_back(title);
    auto* b = new UIButton(CGRectZero);
    setViewName(b, "sheetButton" + std::to_string(index));
    b->setTitle(title);
    b->setFont(UIFont::boldSystemFontOfSize(18));
    b->setBackgroundColor(destructive ? UIColor::colorWithRed(0.8, 0.15, 0.15, 1)
                          : cancel    ? UIColor::colorWithWhite(0.2, 1)
                                      : UIColor::colorWithWhite(0.92, 1));
    b->setTitleColor(cancel || destructive ? UIColor::whiteColor() : UIColor::blackColor());
    b->setCornerRadius(8);
    b->addTarget(this, [this, index](UIControl*, UIEvent*) { click(index); }, UIControlEventTouchUpInside);
    sheet_->addSubview(b);
    buttonViews_.push_back(b);
    return index;
}

std::string UIActionSheet::buttonTitleAtIndex(int index) const {
    return index >= 0 && index < numberOfButtons() ? buttons_[index] : std::string();
}

UIButton* UIActionSheet::buttonViewAtIndex(int index) const {
    return index >= 0 && index < static_cast<int>(buttonViews_.size()) ? buttonViews_[index].data() : nullptr;
}

void UIActionSheet::addCustomView(UIView* view, CGFloat height) {
    if (!view) return;
    custom_.push_back(view);
    view->setFrame(CGRect{view->frame().origin, {view->frame().size.width, height}});
    customHeight_ += height + 8;
    sheet_->addSubview(view);
    layoutSubviews();
}

void UIActionSheet::showInView(UIView* view) {
    UIWindow* w = view ? view->window() : nullptr;
    if (!w) w = UIApplication::sharedApplication().keyWindow();
    if (!w || shown_) return;
    shown_ = true;
    setFrame(w->bounds());
    w->addOverlay(this);
    layoutSubviews();
}

void UIActionSheet::click(int index) {
    QPointer<UIActionSheet> self(this);
    if (delegate) delegate->actionSheetClickedButtonAtIndex(this, index);
    if (self) dismissWithClickedButtonIndex(index, true);
}

void UIActionSheet::dismissWithClickedButtonIndex(int index, bool) {
    if (!shown_) return;
    QPointer<UIActionSheet> self(this);
    if (delegate) delegate->actionSheetWillDismissWithButtonIndex(this, index);
    if (!self) return;
    shown_ = false;
    setHidden(true);
    removeFromSuperview();
    if (delegate) delegate->actionSheetDidDismissWithButtonIndex(this, index);
    if (self) deleteLater();
}

void UIActionSheet::layoutSubviews() {
    if (!sheet_) return;
    CGRect b = bounds();
    CGFloat w = b.size.width, y = 10;
    if (titleLabel_) {
        titleLabel_->setFrame(CGRectMake(10, y, w - 20, title_.empty() ? 0 : 22));
        if (!title_.empty()) y += 30;
    }
    for (auto& v : custom_) {
        if (!v) continue;
        CGRect f = v->frame();
        v->setFrame(CGRectMake(f.origin.x, y, f.size.width, f.size.height));
        y += f.size.height + 8;
    }
    for (int i = 0; i < numberOfButtons(); ++i) {
        if (i == cancelIndex_) y += 8;
        if (buttonViews_[i]) buttonViews_[i]->setFrame(CGRectMake(20, y, w - 40, 44));
        y += 52;
    }
    y += 4;
    sheet_->setFrame(CGRectMake(0, b.size.height - y, w, y));
}

}  // namespace lumora
