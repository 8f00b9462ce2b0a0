#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIView.h"

namespace lumora {

class UIActionSheet;
class UIButton;
class UILabel;

class UIActionSheetDelegate {
public:
    virtual ~UIActionSheetDelegate() = default;
    virtual void actionSheetClickedButtonAtIndex(UIActionSheet*, int /*buttonIndex*/) {}
    virtual void actionSheetWillDismissWithButtonIndex(UIActionSheet*, int /*buttonIndex*/) {}
    virtual void actionSheetDidDismissWithButtonIndex(UIActionSheet*, int /*buttonIndex*/) {}
};

// A modal sheet of buttons at the bottom of the window. Indices: the
// destructive button (when given) 0, then the others, the cancel button
// last. Custom subviews added to the sheet sit above the buttons. Shown,
// the window owns it; it is deleted after its dismissal.
class UIActionSheet : public UIView {
public:
    UIActionSheet(const std::string& title, UIActionSheetDelegate* delegate, const std::string& cancelButtonTitle,
                  const std::string& destructiveButtonTitle, const std::vector<std::string>& otherButtonTitles);

    static UIActionSheet* topmost(UIView* window);

    UIActionSheetDelegate* delegate = nullptr;  // not owned
    int numberOfButtons() const { return static_cast<int>(buttons_.size()); }
    std::string buttonTitleAtIndex(int index) const;
    int cancelButtonIndex() const { return cancelIndex_; }
    int destructiveButtonIndex() const { return destructiveIndex_; }
    int firstOtherButtonIndex() const { return firstOther_; }
    bool isVisible() const { return shown_; }

    void showInView(UIView* view);
    void dismissWithClickedButtonIndex(int index, bool animated);
    // Custom content: the view goes above the buttons, `height` tall.
    void addCustomView(UIView* view, CGFloat height);
    UIView* sheet() const { return sheet_.data(); }
    UIButton* buttonViewAtIndex(int index) const;

    void layoutSubviews() override;

private:
    int addButton(const std::string& title, bool destructive, bool cancel);
    void click(int index);

    std::string title_;
    std::vector<std::string> buttons_;
    int cancelIndex_ = -1, destructiveIndex_ = -1, firstOther_ = -1;
    bool shown_ = false;
    CGFloat customHeight_ = 0;
    QPointer<UIView> sheet_;
    QPointer<UILabel> titleLabel_;
    std::vector<QPointer<UIButton>> buttonViews_;
    std::vector<QPointer<UIView>> custom_;
};

}  // namespace lumora
