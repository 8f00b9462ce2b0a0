#pragma once

#include <functional>
#include <string>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/ControlStripHDDelegate.h"

namespace lumora {

// The tablet live screen's control strip ("controlStrip"): a paging scroll
// view in the side panel under the device panel holding two pages of 52 x
// 42 buttons, pan/tilt/zoom and play on the first ("firstCtrlPage"), listen,
// talk, record, snapshot, stop all and the five layouts on the second
// ("secondCtrlPage"), with the dots under it ("pageControl") that show and
// turn the page. Every button has its pressed image "<image>_clk.png"; the
// toggles and the layout in use show that they are on.
//
// The pages and the dots are made with the screen's interface file
// (makePages) and move into the strip when the screen lays it out. The
// buttons call the delegate, which must outlive them. The strip is made by
// the screen and, once in the panel, goes with the screen's views (the
// screen deletes it while it is out of the tree). Main thread only.
class ControlStripHD : public UIScrollView {
public:
    static constexpr CGFloat kPageWidth = 236;
    static constexpr CGFloat kPageHeight = 200;

    ControlStripHD();

    // A button of the side panel with its image (the title stands in only
    // without one), its pressed image and its tap; added to `parent`.
    static UIButton* makeButton(UIView* parent, const std::string& name, const std::string& image,
                                const std::string& title, const CGRect& frame, std::function<void()> tap);
    // The two pages and the dots, into the panel.
    static void makePages(UIView* panel, ControlStripHDDelegate* delegate);

    // Finds the pages, the dots and the layout buttons under `root`.
    void attach(UIView* root);
    // Into the panel at (10, 530), the pages side by side in it.
    void layoutIn(UIView* panel);
    // Turns the strip to the page the dots show.
    void showDotsPage();
    // The strip was scrolled: the dots follow.
    void didScroll();
    // Marks the layout button of that mode (0 one tile ... 4 sixteen) as the one in use.
    void showLayoutInUse(int mode);

private:
    WeakView<UIView> firstPage_, secondPage_;
    WeakView<UIPageControl> dots_;
    WeakView<UIButton> layoutButtons_[5];
};

}  // namespace lumora
