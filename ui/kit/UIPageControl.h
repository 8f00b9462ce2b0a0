#pragma once

#include "ui/kit/UIControl.h"

namespace lumora {

// Dots for pages: a tap on the right half moves one page on, on the left
// half one page back, and sends value-changed; setCurrentPage in code sends
// nothing.
class UIPageControl : public UIControl {
public:
    explicit UIPageControl(const CGRect& frame = CGRectZero);
    int numberOfPages() const { return pages_; }
    void setNumberOfPages(int pages);
    int currentPage() const { return current_; }
    void setCurrentPage(int page);
    bool hidesForSinglePage = false;

    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

private:
    int pages_ = 0;
    int current_ = 0;
};

}  // namespace lumora
