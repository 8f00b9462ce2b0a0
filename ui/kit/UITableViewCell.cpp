#include "ui/kit/UITableViewCell.h"

#include <QPainter>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITableView.h"

namespace lumora {

UITableViewCell::UITableViewCell(UITableViewCellStyle style, const std::string& reuseIdentifier)
    : UIView(CGRectMake(0, 0, 320, 44)), style_(style), reuseId_(reuseIdentifier) {
    setBackgroundColor(UIColor::whiteColor());
    auto* content = new UIView(bounds());
    setViewName(content, "contentView");
    content_ = content;
    addSubview(content);
    auto* image = new UIImageView(CGRectZero);
    image_ = image;
    content->addSubview(image);
    auto* text = new UILabel(CGRectZero);
    setViewName(text, "textLabel");
    text->setFont(UIFont::boldSystemFontOfSize(style == UITableViewCellStyle::Value2 ? 12 : 18));
    text->setHighlightedTextColor(UIColor::whiteColor());  // on the blue of a selected row
    text_ = text;
    content->addSubview(text);
    if (style != UITableViewCellStyle::Default) {
        auto* detail = new UILabel(CGRectZero);
        setViewName(detail, "detailTextLabel");
        detail->setFont(UIFont::systemFontOfSize(style == UITableViewCellStyle::Subtitle ? 14 : 17));
        detail->setTextColor(style == UITableViewCellStyle::Value1 ? UIColor::colorWithRed(0.22, 0.33, 0.53, 1)
                                                                   : UIColor::colorWithWhite(0.4, 1));  // reads on white
        if (style == UITableViewCellStyle::Value1) detail->setTextAlignment(UITextAlignment::Right);
        detail->setHighlightedTextColor(UIColor::whiteColor());
        detail_ = detail;
        content->addSubview(detail);
    }
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
    accessory_ = type;
    if (accessoryButton_) {
        accessoryButton_->deleteLater();
        accessoryButton_->removeFromSuperview();
        accessoryButton_ = nullptr;
    }
    if (type == UITableViewCellAccessoryType::DetailDisclosureButton) {
        UIButton* b = UIButton::buttonWithType(UIButtonType::DetailDisclosure);
        setViewName(b, "accessoryButton");
        b->addTarget(this, [this](UIControl*, UIEvent*) {
            if (table_) table_->accessoryTapped(this);
        }, UIControlEventTouchUpInside);
        accessoryButton_ = b;
        addSubview(b);
    }
    layoutSubviews();
    update();
}

void UITableViewCell::setAccessoryView(UIView* view) {
    if (accessoryView_ && accessoryView_ != view) accessoryView_->removeFromSuperview();
    accessoryView_ = view;
    if (view) addSubview(view);
    layoutSubviews();
}

void UITableViewCell::setSelected(bool selected, bool) {
    selected_ = selected;
    markTexts();
    update();
}

void UITableViewCell::setHighlighted(bool highlighted, bool) {
    highlighted_ = highlighted;
    markTexts();
    update();
}

// The texts of a row on the blue selection turn white, so that they read on it.
void UITableViewCell::markTexts() {
    const bool on = (selected_ || highlighted_) && selectionStyle == UITableViewCellSelectionStyle::Blue;
    if (text_) text_->setHighlighted(on);
    if (detail_) detail_->setHighlighted(on);
}

void UITableViewCell::setEditing(bool editing, bool) {
    editing_ = editing;
    if (!editing) showDeleteButton(false);
    if (editing && !deleteControl_ && table_ && table_->canEdit(this)) {
        auto* c = new UIButton(CGRectMake(0, 0, 32, 32));
        setViewName(c, "deleteControl");
        c->setTitle("-");
        c->setFont(UIFont::boldSystemFontOfSize(20));
        c->setBackgroundColor(UIColor::colorWithRed(0.85, 0.1, 0.1, 1));
        c->setCornerRadius(11);
        c->addTarget(this, [this](UIControl*, UIEvent*) { showDeleteButton(!confirming_); }, UIControlEventTouchUpInside);
        deleteControl_ = c;
        addSubview(c);
    }
    if (!editing && deleteControl_) {
        deleteControl_->removeFromSuperview();
        deleteControl_->deleteLater();
        deleteControl_ = nullptr;
    }
    layoutSubviews();
}

void UITableViewCell::showDeleteButton(bool on) {
    confirming_ = on;
    if (on && !deleteButton_) {
        auto* b = new UIButton(CGRectMake(0, 0, 64, 30));
        setViewName(b, "deleteButton");
        b->setTitle("Delete");
        b->setFont(UIFont::boldSystemFontOfSize(14));
        b->setBackgroundColor(UIColor::colorWithRed(0.85, 0.1, 0.1, 1));
        b->setCornerRadius(5);
        b->addTarget(this, [this](UIControl*, UIEvent*) {
            if (table_) table_->deleteConfirmed(this);
        }, UIControlEventTouchUpInside);
        deleteButton_ = b;
        addSubview(b);
    }
    if (!on && deleteButton_) {
        deleteButton_->removeFromSuperview();
        deleteButton_->deleteLater();
        deleteButton_ = nullptr;
    }
    layoutSubviews();
}

void UITableViewCell::layoutSubviews() {
    CGRect b = bounds();
    CGFloat left = editing_ && deleteControl_ ? 38 : 0;
    CGFloat right = 0;
    if (deleteControl_) deleteControl_->setFrame(CGRectMake(6, (b.size.height - 22) / 2, 22, 22));
    if (deleteButton_) {
        deleteButton_->setFrame(CGRectMake(b.size.width - 74, (b.size.height - 30) / 2, 64, 30));
        right = 80;
    } else if (accessoryView_) {
        CGRect f = accessoryView_->frame();
        accessoryView_->setFrame(CGRectMake(b.size.width - 10 - f.size.width, (b.size.height - f.size.height) / 2,
                                            f.size.width, f.size.height));
        right = f.size.width + 20;
    } else if (accessoryButton_) {
        accessoryButton_->setFrame(CGRectMake(b.size.width - 39, (b.size.height - 31) / 2, 29, 31));
        right = 44;
    } else if (accessory_ != UITableViewCellAccessoryType::None) {
        right = 30;
    }
    if (content_) content_->setFrame(CGRectMake(left, 0, std::max(0.0, b.size.width - left - right), b.size.height));
    if (!content_) return;
    CGRect c = content_->bounds();
    CGFloat x = 10;
    if (image_ && image_->image()) {
        CGSize s = image_->image()->size();
        CGFloat h = std::min(s.height, c.size.height);
        image_->setFrame(CGRectMake(x, (c.size.height - h) / 2, s.width * (s.height > 0 ? h / s.height : 1), h));
        x += image_->frame().size.width + 10;
    } else if (image_) {
        image_->setFrame(CGRectZero);
    }
    CGFloat w = std::max(0.0, c.size.width - x - 10);
    switch (style_) {
    case UITableViewCellStyle::Default:
        text_->setFrame(CGRectMake(x, 0, w, c.size.height));
        break;
    case UITableViewCellStyle::Value1:
    {
        // The title takes what it needs when the value leaves room (at least
        // a little over half the row); the value, right-aligned, the rest.
        const CGFloat valueWidth = detail_->text().empty() ? 0 : detail_->sizeThatFits(CGSize{}).width + 8;
        const CGFloat textWidth = std::min(w, std::max(w * 0.55, w - valueWidth));
        text_->setFrame(CGRectMake(x, 0, textWidth, c.size.height));
        detail_->setFrame(CGRectMake(x + w * 0.45, 0, w * 0.55, c.size.height));
    }
        break;
    case UITableViewCellStyle::Value2:
        text_->setTextAlignment(UITextAlignment::Right);
        text_->setFrame(CGRectMake(x, 0, 70, c.size.height));
        detail_->setFrame(CGRectMake(x + 80, 0, std::max(0.0, w - 80), c.size.height));
        break;
    case UITableViewCellStyle::Subtitle:
        text_->setFrame(CGRectMake(x, 2, w, c.size.height * 0.55));
        detail_->setFrame(CGRectMake(x, c.size.height * 0.55, w, c.size.height * 0.4));
        break;
    }
}

void UITableViewCell::touchesBegan(const UITouchSet&, UIEvent*) {
    if (selectionStyle != UITableViewCellSelectionStyle::None) setHighlighted(true);
}

void UITableViewCell::touchesEnded(const UITouchSet& touches, UIEvent*) {
    setHighlighted(false);
    if (touches.empty() || !CGRectContainsPoint(bounds(), touches.front()->locationInView(this))) return;
    if (confirming_) {
        showDeleteButton(false);
        return;
    }
    if (table_) table_->cellTapped(this);
}

void UITableViewCell::touchesCancelled(const UITouchSet&, UIEvent*) { setHighlighted(false); }

void UITableViewCell::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    if ((highlighted_ || selected_) && selectionStyle != UITableViewCellSelectionStyle::None)
        p.fillRect(QRectF(0, 0, rect.size.width, rect.size.height),
                   selectionStyle == UITableViewCellSelectionStyle::Gray ? QColor(200, 200, 200) : QColor(0, 100, 210));
    QPen pen(QColor(140, 140, 140), 2);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing, true);
    CGFloat cx = rect.size.width - 18, cy = rect.size.height / 2;
    if (accessory_ == UITableViewCellAccessoryType::DisclosureIndicator && !accessoryView_) {
        p.drawLine(QPointF(cx - 4, cy - 5), QPointF(cx + 1, cy));
        p.drawLine(QPointF(cx + 1, cy), QPointF(cx - 4, cy + 5));
    } else if (accessory_ == UITableViewCellAccessoryType::Checkmark && !accessoryView_) {
        p.setPen(QPen(QColor(50, 80, 140), 2.5));
        p.drawLine(QPointF(cx - 8, cy), QPointF(cx - 3, cy + 5));
        p.drawLine(QPointF(cx - 3, cy + 5), QPointF(cx + 5, cy - 6));
    }
}

}  // namespace lumora
