#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIView.h"

namespace lumora {

class UIAlertView;
class UIButton;
class UILabel;

class UIAlertViewDelegate {
public:
    virtual ~UIAlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(UIAlertView*, int /*buttonIndex*/) {}
    virtual void alertViewWillDismissWithButtonIndex(UIAlertView*, int /*buttonIndex*/) {}
    virtual void alertViewDidDismissWithButtonIndex(UIAlertView*, int /*buttonIndex*/) {}
};

// A modal alert over the whole window. Button indices: the cancel button is
// 0 and the others follow from 1; without a cancel button the first other
// is 0. Several alerts stack; the topmost takes the touches. A tap on a
// button calls clicked, will-dismiss and did-dismiss; a dismissal in code
// calls will- and did-dismiss only. Shown, the window owns the alert; it is
// deleted after its dismissal (hold it by QPointer).
class UIAlertView : public UIView {
public:
    UIAlertView(const std::string& title, const std::string& message, UIAlertViewDelegate* delegate,
                const std::string& cancelButtonTitle, const std::vector<std::string>& otherButtonTitles);

    static UIAlertView* topmost(UIView* window);

    UIAlertViewDelegate* delegate = nullptr;  // not owned
    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    void setMessage(const std::string& message);
    int addButtonWithTitle(const std::string& title);
    int numberOfButtons() const { return static_cast<int>(buttons_.size()); }
    std::string buttonTitleAtIndex(int index) const;
    int cancelButtonIndex() const { return cancelIndex_; }
    int firstOtherButtonIndex() const;
    bool isVisible() const { return shown_; }

    // In the key window, over everything.
    void show();
    virtual void dismissWithClickedButtonIndex(int index, bool animated);
    // The box holding the texts and buttons (custom subviews go here).
    UIView* box() const { return box_.data(); }
    UIButton* buttonViewAtIndex(int index) const;

    void layoutSubviews() override;

private:
    void click(int index);
    void relayout();

    std::string title_, message_;
    std::vector<std::string> buttons_;
    int cancelIndex_ = -1;
    bool shown_ = false;
    QPointer<UIView> box_;
    QPointer<UILabel> titleLabel_, messageLabel_;
    std::vector<QPointer<UIButton>> buttonViews_;
};

}  // namespace lumora
