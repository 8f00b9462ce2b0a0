#pragma once

#include <string>

#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIView.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/SectionHeaderViewDelegate.h"

namespace lumora {

// The 35 pt bar heading one device of the tablet device panel: the device's
// title (green while online, white otherwise), a disclosure arrow that shows
// whether the section is open, a bar under everything that opens or closes
// the section, and a button at the right end that opens the device's view.
// The header does not keep the open state: the panel builds a new header on
// every reload from its own record. Main thread only.
class SectionHeaderViewHD : public UIView {
public:
    static constexpr CGFloat kHeight = 35;

    SectionHeaderViewHD(const CGRect& frame, const std::string& title, int section, bool opened,
                        SectionHeaderViewDelegate* delegate);

    int section() const { return section_; }
    bool opened() const { return opened_; }
    UILabel* titleLabel() const { return titleLabel_.data(); }
    UIButton* disclosureButton() const { return disclosureButton_.data(); }
    UIButton* rightButton() const { return rightButton_.data(); }
    SectionHeaderViewDelegate* delegate = nullptr;  // not owned

    // Colours the title only; the flag itself is not kept.
    void setIsOnLine(bool online);

    void toggleAction();
    void headerDiscosureBtnClicked();

private:
    int section_;
    bool opened_;
    WeakView<UILabel> titleLabel_;
    WeakView<UIButton> disclosureButton_, rightButton_;
};

}  // namespace lumora
