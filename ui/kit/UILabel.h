#pragma once

#include <string>

#include "ui/kit/UIFont.h"
#include "ui/kit/UITextAlignment.h"
#include "ui/kit/UIView.h"

namespace lumora {

enum class UILineBreakMode { WordWrap, CharacterWrap, Clip, HeadTruncation, TailTruncation, MiddleTruncation };

// Text in one or more lines, centred vertically; truncated at the tail,
// middle or head, or shrunk down to minimumFontSize to fit the width.
class UILabel : public UIView {
public:
    explicit UILabel(const CGRect& frame = CGRectZero);

    const std::string& text() const { return text_; }
    void setText(const std::string& text);
    UIFont font() const { return font_; }
    void setFont(const UIFont& font);
    UIColor textColor() const { return textColor_; }
    void setTextColor(const UIColor& color);
    UIColor highlightedTextColor() const { return highlightedTextColor_; }
    void setHighlightedTextColor(const UIColor& color);
    // A box of this colour just behind the text (not the whole label): what
    // keeps a caption readable over a picture. Null: none.
    UIColor textBackingColor() const { return backing_; }
    void setTextBackingColor(const UIColor& color);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on);
    UITextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(UITextAlignment alignment);
    UILineBreakMode lineBreakMode() const { return lineBreak_; }
    void setLineBreakMode(UILineBreakMode mode);
    int numberOfLines() const { return lines_; }
    void setNumberOfLines(int lines);
    bool adjustsFontSizeToFitWidth() const { return shrink_; }
    void setAdjustsFontSizeToFitWidth(bool on);
    CGFloat minimumFontSize() const { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat size);

    // The text as drawn (after truncation) and the font size used.
    std::string displayedText() const;
    CGFloat displayedFontSize() const;

    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(const CGRect& rect) override;

private:
    std::string text_;
    UIFont font_ = UIFont::systemFontOfSize(17);
    UIColor textColor_ = UIColor::blackColor();
    UIColor highlightedTextColor_;
    UIColor backing_;
    bool highlighted_ = false;
    UITextAlignment alignment_ = UITextAlignment::Left;
    UILineBreakMode lineBreak_ = UILineBreakMode::TailTruncation;
    int lines_ = 1;
    bool shrink_ = false;
    CGFloat minimumFontSize_ = 0;
};

}  // namespace lumora
