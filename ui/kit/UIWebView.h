#pragma once

#include <string>
#include <vector>

#include "ui/kit/UIView.h"

namespace lumora {

class UILabel;

// Stands in for a web view: shows and records the address it was asked to
// load (the window host's users open it in their browser).
class UIWebView : public UIView {
public:
    explicit UIWebView(const CGRect& frame = CGRectZero);
    void loadRequest(const std::string& url);
    void loadHTMLString(const std::string& html, const std::string& baseUrl);
    const std::string& requestedURL() const { return url_; }
    const std::vector<std::string>& loadedURLs() const { return loaded_; }
    bool scalesPageToFit = false;
    void layoutSubviews() override;

private:
    std::string url_;
    std::vector<std::string> loaded_;
    QPointer<UILabel> label_;
};

}  // namespace lumora
