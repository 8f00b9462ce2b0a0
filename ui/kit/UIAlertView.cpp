#include "ui/kit/UIAlertView.h"

#include <QFontMetricsF>
#include <cmath>

#include "ui/kit/UIApplication.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

UIAlertView::UIAlertView(const std::string& title, const std::string& message, UIAlertViewDelegate* d,
                         const std::string& cancelButtonTitle, const std::vector<std::string>& others)
    : UIView(CGRectZero), delegate(d), title_(title), message_(message) {
    setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    auto* box = new UIView(CGRectMake(0, 0, 284, 120));
    setViewName(box, "alertBox");
    box->setBackgroundColor(UIColor::colorWithRed(0.12, 0.2, 0.38, 0.95));
    box->setCornerRadius(10);
    box->setBorder(2, UIColor::whiteColor());
    box_ = box;
    addSubview(box);
    auto* t = new UILabel(CGRectZero);
    setViewName(t, "alertTitle");
    t->setFont(UIFont::boldSystemFontOfSize(18));
    t->setTextColor(UIColor::whiteColor());
    t->setTextAlignment(UITextAlignment::Center);
    t->setNumberOfLines(0);  // a long title wraps rather than loses its end
    t->setText(title);
    titleLabel_ = t;
    box->addSubview(t);
    auto* m = new UILabel(CGRectZero);
    setViewName(m, "alertMessage");
    m->setFont(UIFont::systemFontOfSize(15));
    m->setTextColor(UIColor::whiteColor());
    m->setTextAlignment(UITextAlignment::Center);
    m->setNumberOfLines(0);
    m->setText(message);
    messageLabel_ = m;
    box->addSubview(m);
    if (!cancelButtonTitle.empty()) {
        cancelIndex_ = 0;
        addButtonWithTitle(cancelButtonTitle);
    }
    for (const auto& o : others) addButtonWithTitle(o);
}

UIAlertView* UIAlertView::topmost(UIView* window) {
    auto* w = dynamic_cast<UIWindow*>(window);
    if (!w) return nullptr;
    std::vector<UIView*> overlays = w->overlays();
    for (auto it = overlays.rbegin(); it != overlays.rend(); ++it)
        if (auto* a = dynamic_cast<UIAlertView*>(*it); a && a->shown_) return a;
    return nullptr;
}

void UIAlertView::setMessage(const std::string& message) {
    message_ = message;
    if (messageLabel_) messageLabel_->setText(message);
    relayout();
}

int UIAlertView::addButtonWithTitle(const std::string& title) {
    int index = static_cast<int>(buttons_.size());
    buttons_.push_back(title);
    auto* b = new UIButton(CGRectMake(0, 0, 120, 40));
    setViewName(b, "alertButton" + std::to_string(index));
    b->setTitle(title);
    b->setFont(UIFont::boldSystemFontOfSize(16));
    b->setBackgroundColor(UIColor::colorWithWhite(1, index == cancelIndex_ ? 0.12 : 0.25));
    b->setCornerRadius(6);
    b->setBorder(1, UIColor::colorWithWhite(1, 0.5));
    b->addTarget(this, [this, index](UIControl*, UIEvent*) { click(index); }, UIControlEventTouchUpInside);
    box_->addSubview(b);
    buttonViews_.push_back(b);
    relayout();
    return index;
}

std::string UIAlertView::buttonTitleAtIndex(int index) const {
    return index >= 0 && index < numberOfButtons() ? buttons_[index] : std::string();
}

int UIAlertView::firstOtherButtonIndex() const {
    int first = cancelIndex_ == 0 ? 1 : 0;
    return first < numberOfButtons() ? first : -1;
}

UIButton* UIAlertView::buttonViewAtIndex(int index) const {
    return index >= 0 && index < static_cast<int>(buttonViews_.size()) ? buttonViews_[index].data() : nullptr;
}

void UIAlertView::show() {
    UIWindow* w = UIApplication::sharedApplication().keyWindow();
    if (!w || shown_) return;
    shown_ = true;
    setFrame(w->bounds());
    w->addOverlay(this);
    relayout();
}

void UIAlertView::click(int index) {
    QPointer<UIAlertView> self(this);
    if (delegate) delegate->alertViewClickedButtonAtIndex(this, index);
    if (self) dismissWithClickedButtonIndex(index, true);
}

void UIAlertView::dismissWithClickedButtonIndex(int index, bool) {
    if (!shown_) return;
    QPointer<UIAlertView> self(this);
    if (delegate) delegate->alertViewWillDismissWithButtonIndex(this, index);
    if (!self) return;
    shown_ = false;
    setHidden(true);
    removeFromSuperview();
    if (delegate) delegate->alertViewDidDismissWithButtonIndex(this, index);
    if (self) deleteLater();
}

void UIAlertView::layoutSubviews() { relayout(); }

void UIAlertView::relayout() {
    if (!box_) return;
    CGFloat w = 284, y = 14;
    // The height the text takes wrapped in the box's width.
    auto wrapped = [w](const UILabel* l, const std::string& text) -> CGFloat {
        if (text.empty()) return 0;
        const QRectF r = QFontMetricsF(l->font().qFont())
                             .boundingRect(QRectF(0, 0, w - 24, 1e6), Qt::AlignHCenter | Qt::TextWordWrap,
                                           QString::fromStdString(text));
        return std::ceil(r.height()) + 2;
    };
    if (titleLabel_) {
        const CGFloat h = std::max<CGFloat>(title_.empty() ? 0 : 24, wrapped(titleLabel_, title_));
        titleLabel_->setFrame(CGRectMake(12, y, w - 24, h));
        y += title_.empty() ? 0 : h + 6;
    }
    if (messageLabel_) {
        const CGFloat h = wrapped(messageLabel_, message_);
        messageLabel_->setFrame(CGRectMake(12, y, w - 24, h));
        y += h + (h > 0 ? 10 : 0);
    }
    // Custom subviews the owner added sit between the texts and the buttons.
    for (UIView* v : box_->subviews()) {
        if (v == titleLabel_.data() || v == messageLabel_.data()) continue;
        if (std::find(buttonViews_.begin(), buttonViews_.end(), QPointer<UIButton>(dynamic_cast<UIButton*>(v))) !=
            buttonViews_.end())
            continue;
        CGRect f = v->frame();
        if (f.origin.y < y) v->setFrame(CGRectMake(f.origin.x, y, f.size.width, f.size.height));
        y = std::max(y, v->frame().origin.y + f.size.height + 8);
    }
    int n = numberOfButtons();
    if (n == 2) {
        // Side by side: the cancel button (index 0 when there is one) on the left.
        for (int i = 0; i < 2; ++i)
            if (buttonViews_[i]) buttonViews_[i]->setFrame(CGRectMake(12 + i * 136, y, 124, 40));
        y += 52;
    } else {
        // Stacked: others first, the cancel button last.
        std::vector<int> order;
        for (int i = 0; i < n; ++i)
            if (i != cancelIndex_) order.push_back(i);
        if (cancelIndex_ >= 0) order.push_back(cancelIndex_);
        for (int i : order) {
            if (buttonViews_[i]) buttonViews_[i]->setFrame(CGRectMake(12, y, w - 24, 40));
            y += 48;
        }
        y += 4;
    }
    CGRect b = bounds();
    box_->setFrame(CGRectMake((b.size.width - w) / 2, std::max(10.0, (b.size.height - y) / 2), w, y));
}

}  // namespace lumora
