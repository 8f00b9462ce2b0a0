#include "ui/kit/UIWebView.h"

#include "ui/kit/UILabel.h"

namespace lumora {

UIWebView::UIWebView(const CGRect& frame) : UIView(frame) {
    setBackgroundColor(UIColor::whiteColor());
    auto* l = new UILabel(CGRectZero);
    setViewName(l, "webAddress");
    l->setNumberOfLines(0);
    l->setFont(UIFont::systemFontOfSize(14));
    l->setTextColor(UIColor::colorWithRed(0.1, 0.2, 0.6, 1));
    l->setTextAlignment(UITextAlignment::Center);
    label_ = l;
    addSubview(l);
    layoutSubviews();
}

void UIWebView::loadRequest(const std::string& url) {
    url_ = url;
    loaded_.push_back(url);
    if (label_) label_->setText(url);
}

void UIWebView::loadHTMLString(const std::string&, const std::string& baseUrl) { loadRequest(baseUrl); }

void UIWebView::layoutSubviews() {
    if (label_) label_->setFrame(CGRectInset(bounds(), 10, 10));
}

}  // namespace lumora
