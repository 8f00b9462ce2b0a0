#pragma once

#include <QLineEdit>
#include <QPointer>
#include <string>

#include "ui/kit/UIControl.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"



namespace lumora {

class UITextField;

class UITextFieldDelegate {
public:
    virtual ~UITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(UITextField*) { return true; }
    virtual void textFieldDidBeginEditing(UITextField*) {}
    virtual bool textFieldShouldEndEditing(UITextField*) { return true; }
    virtual void textFieldDidEndEditing(UITextField*) {}
    virtual bool textFieldShouldReturn(UITextField*) { return true; }
};

enum class UITextBorderStyle { None, Line, Bezel, RoundedRect };

// A one-line text field over a real line edit (caret, selection, clipboard,
// input methods, password echo). A tap begins editing when the delegate
// agrees; typing sends editing-changed; Return asks should-return and sends
// did-end-on-exit. Text set in code sends nothing.
class UITextField : public UIControl {
public:
    explicit UITextField(const CGRect& frame = CGRectZero);
    ~UITextField() override;

    // The field being edited (nullptr when none).
    static UITextField* editingField();

    std::string text() const;
    void setText(const std::string& text);
    std::string placeholder() const;
    void setPlaceholder(const std::string& text);
    void setFont(const UIFont& font);
    void setTextColor(const UIColor& color);
    void setTextAlignment(UITextAlignment alignment);
    bool isSecureTextEntry() const { return secure_; }
    void setSecureTextEntry(bool on);
    void setBorderStyle(UITextBorderStyle style);
    void setEnabled(bool enabled) override;
    int keyboardType = 0;
    int returnKeyType = 0;
    int autocapitalizationType = 0;
    int clearButtonMode = 0;
    UITextFieldDelegate* delegate = nullptr;  // not owned

    bool isEditing() const { return editing_; }
    bool canBecomeFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isFirstResponder() const override { return editing_; }

    QLineEdit* lineEdit() const { return edit_.data(); }

    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void layoutSubviews() override;
    void drawRect(const CGRect& rect) override;

private:
    QPointer<QLineEdit> edit_;
    bool secure_ = false;
    bool editing_ = false;
    UITextBorderStyle border_ = UITextBorderStyle::None;
};

}  // namespace lumora
