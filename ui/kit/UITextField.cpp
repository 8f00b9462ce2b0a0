#include "ui/kit/UITextField.h"

#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>

#include "ui/kit/CGContext.h"

namespace lumora {

namespace {
QPointer<UITextField> gEditing;
}

UITextField::UITextField(const CGRect& frame) : UIControl(frame) {
    auto* e = new QLineEdit(this);
    e->setFrame(false);
    e->setAttribute(Qt::WA_MacShowFocusRect, false);
    e->setStyleSheet("QLineEdit { background: transparent; border: none; }");
    e->setFont(UIFont::systemFontOfSize(17).qFont());
    e->setFocusPolicy(Qt::ClickFocus);
    e->show();
    edit_ = e;
    QObject::connect(e, &QLineEdit::textEdited, e, [this](const QString&) {
        sendActionsForControlEvents(UIControlEventEditingChanged);
    });
    QObject::connect(e, &QLineEdit::returnPressed, e, [this] {
        QPointer<UITextField> self(this);
        bool ok = !delegate || delegate->textFieldShouldReturn(this);
        if (!self) return;
        if (ok) sendActionsForControlEvents(UIControlEventEditingDidEndOnExit);
    });
    layoutSubviews();
}

UITextField::~UITextField() {
    if (gEditing == this) gEditing = nullptr;
}

UITextField* UITextField::editingField() { return gEditing.data(); }

std::string UITextField::text() const { return edit_ ? edit_->text().toStdString() : std::string(); }

void UITextField::setText(const std::string& text) {
    if (!edit_) return;
    QSignalBlocker block(edit_.data());
    edit_->setText(QString::fromStdString(text));
    // A text longer than the field shows its start until the user edits it.
    if (!editing_) edit_->setCursorPosition(0);
}

std::string UITextField::placeholder() const { return edit_ ? edit_->placeholderText().toStdString() : std::string(); }
void UITextField::setPlaceholder(const std::string& text) {
    if (edit_) edit_->setPlaceholderText(QString::fromStdString(text));
}
void UITextField::setFont(const UIFont& font) {
    if (edit_) edit_->setFont(font.qFont());
}
void UITextField::setTextColor(const UIColor& color) {
    if (!edit_) return;
    QPalette p = edit_->palette();
    p.setColor(QPalette::Text, color.qColor());
    edit_->setPalette(p);
}
void UITextField::setTextAlignment(UITextAlignment a) {
    if (!edit_) return;
    edit_->setAlignment((a == UITextAlignment::Center  ? Qt::AlignHCenter
                         : a == UITextAlignment::Right ? Qt::AlignRight
                                                       : Qt::AlignLeft) |
                        Qt::AlignVCenter);
}
void UITextField::setSecureTextEntry(bool on) {
    secure_ = on;
    if (edit_) edit_->setEchoMode(on ? QLineEdit::Password : QLineEdit::Normal);
}
void UITextField::setBorderStyle(UITextBorderStyle style) {
    border_ = style;
    layoutSubviews();
    update();
}
void UITextField::setEnabled(bool enabled) {
    UIControl::setEnabled(enabled);
    if (edit_) edit_->setEnabled(enabled);
    if (!enabled && editing_) resignFirstResponder();
}

bool UITextField::becomeFirstResponder() {
    if (editing_) return true;
    if (!isEnabled()) return false;
    QPointer<UITextField> self(this);
    if (delegate && !delegate->textFieldShouldBeginEditing(this)) return false;
    if (!self) return false;
    if (gEditing && gEditing != this && !gEditing->resignFirstResponder()) return false;
    editing_ = true;
    gEditing = this;
    if (edit_) {
        edit_->setFocus(Qt::OtherFocusReason);
        edit_->end(false);
    }
    sendActionsForControlEvents(UIControlEventEditingDidBegin);
    if (self && delegate) delegate->textFieldDidBeginEditing(this);
    return true;
}

bool UITextField::resignFirstResponder() {
    if (!editing_) return true;
    QPointer<UITextField> self(this);
    if (delegate && !delegate->textFieldShouldEndEditing(this)) return false;
    if (!self) return true;
    editing_ = false;
    if (gEditing == this) gEditing = nullptr;
    if (edit_) {
        edit_->clearFocus();
        edit_->setCursorPosition(0);
    }
    sendActionsForControlEvents(UIControlEventEditingDidEnd);
    if (self && delegate) delegate->textFieldDidEndEditing(this);
    return true;
}

void UITextField::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    QPointer<UITextField> self(this);
    UIControl::touchesEnded(touches, event);
    if (self && isTouchInside()) becomeFirstResponder();
}

void UITextField::layoutSubviews() {
    if (!edit_) return;
    int inset = border_ == UITextBorderStyle::None ? 0 : 6;
    edit_->setGeometry(inset, 0, std::max(0, width() - 2 * inset), height());
}

void UITextField::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx || border_ == UITextBorderStyle::None) return;
    QPainter& p = ctx->painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    QRectF r(0.5, 0.5, rect.size.width - 1, rect.size.height - 1);
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(120, 120, 120), 1));
    if (border_ == UITextBorderStyle::RoundedRect)
        p.drawRoundedRect(r, 6, 6);
    else
        p.drawRect(r);
}

}  // namespace lumora
