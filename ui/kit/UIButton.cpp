#include "ui/kit/TextAudit.h"
#include "ui/kit/UIButton.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "ui/kit/CGContext.h"

namespace lumora {

UIButton::UIButton(const CGRect& frame, UIButtonType type) : UIControl(frame), type_(type) {
    if (type == UIButtonType::RoundedRect) {
        titleColors_[UIControlStateNormal] = UIColor::colorWithRed(0.22, 0.33, 0.53, 1);
        titleColors_[UIControlStateHighlighted] = UIColor::whiteColor();
    } else {
        titleColors_[UIControlStateNormal] = UIColor::whiteColor();
    }
    if (type == UIButtonType::DetailDisclosure || type == UIButtonType::InfoLight || type == UIButtonType::InfoDark ||
        type == UIButtonType::ContactAdd)
        setFrame(CGRect{frame.origin, {29, 31}});
}

UIButton* UIButton::buttonWithType(UIButtonType type) { return new UIButton(CGRectZero, type); }

template <class T>
T UIButton::pick(const std::map<unsigned, T>& m, unsigned state, const T& none) {
    auto find = [&](unsigned s) -> const T* {
        auto it = m.find(s);
        return it == m.end() ? nullptr : &it->second;
    };
    if (const T* v = find(state)) return *v;
    if ((state & UIControlStateHighlighted) && (state & UIControlStateSelected))
        if (const T* v = find(UIControlStateHighlighted)) return *v;
    if (state & UIControlStateSelected)
        if (const T* v = find(UIControlStateSelected)) return *v;
    if (state & UIControlStateHighlighted)
        if (const T* v = find(UIControlStateHighlighted)) return *v;
    if (const T* v = find(UIControlStateNormal)) return *v;
    return none;
}

void UIButton::setTitle(const std::string& title, unsigned state) {
    titles_[state] = title;
    update();
}
std::string UIButton::titleForState(unsigned state) const { return pick(titles_, state, std::string()); }

void UIButton::setTitleColor(const UIColor& color, unsigned state) {
    titleColors_[state] = color;
    update();
}
UIColor UIButton::titleColorForState(unsigned state) const { return pick(titleColors_, state, UIColor()); }

void UIButton::setImage(std::shared_ptr<UIImage> image, unsigned state) {
    images_[state] = std::move(image);
    update();
}
std::shared_ptr<UIImage> UIButton::imageForState(unsigned state) const {
    return pick(images_, state, std::shared_ptr<UIImage>());
}

void UIButton::setBackgroundImage(std::shared_ptr<UIImage> image, unsigned state) {
    backgrounds_[state] = std::move(image);
    update();
}
std::shared_ptr<UIImage> UIButton::backgroundImageForState(unsigned state) const {
    return pick(backgrounds_, state, std::shared_ptr<UIImage>());
}

void UIButton::setFont(const UIFont& font) {
    font_ = font;
    update();
}
void UIButton::setTitleEdgeInsets(UIEdgeInsets i) {
    titleInsets_ = i;
    update();
}
void UIButton::setImageEdgeInsets(UIEdgeInsets i) {
    imageInsets_ = i;
    update();
}
void UIButton::setContentEdgeInsets(UIEdgeInsets i) {
    contentInsets_ = i;
    update();
}

CGSize UIButton::sizeThatFits(CGSize) const {
    CGSize s{};
    if (auto img = currentImage()) s = img->size();
    std::string t = currentTitle();
    if (!t.empty()) {
        QFontMetricsF m(font_.qFont());
        s.width += std::ceil(m.horizontalAdvance(QString::fromStdString(t)));
        s.height = std::max(s.height, std::ceil(m.height()));
    }
    if (auto bg = currentBackgroundImage()) {
        s.width = std::max(s.width, bg->size().width);
        s.height = std::max(s.height, bg->size().height);
    }
    s.width += contentInsets_.left + contentInsets_.right;
    s.height += contentInsets_.top + contentInsets_.bottom;
    return s;
}

void UIButton::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    unsigned st = state();
    if (type_ == UIButtonType::RoundedRect) {
        QPainterPath path;
        path.addRoundedRect(QRectF(0.5, 0.5, rect.size.width - 1, rect.size.height - 1), 8, 8);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.fillPath(path, isHighlighted() ? QColor(22, 105, 229) : QColor(255, 255, 255));
        p.setPen(QPen(QColor(140, 140, 140), 1));
        p.drawPath(path);
    } else if (type_ == UIButtonType::DetailDisclosure || type_ == UIButtonType::InfoLight ||
               type_ == UIButtonType::InfoDark || type_ == UIButtonType::ContactAdd) {
        p.setRenderHint(QPainter::Antialiasing, true);
        QRectF c(rect.size.width / 2 - 10, rect.size.height / 2 - 10, 20, 20);
        p.setBrush(type_ == UIButtonType::InfoDark ? QColor(60, 60, 60) : QColor(36, 112, 216));
        p.setPen(QPen(Qt::white, 2));
        p.drawEllipse(c);
        p.setFont(UIFont::boldSystemFontOfSize(13).qFont());
        p.drawText(c, Qt::AlignCenter, type_ == UIButtonType::ContactAdd ? "+"
                                       : type_ == UIButtonType::DetailDisclosure ? ">"
                                                                                : "i");
    }
    if (auto bg = backgroundImageForState(st)) bg->drawInRect(p, rect);
    CGRect content = UIEdgeInsetsInsetRect(rect, contentInsets_);
    auto img = imageForState(st);
    std::string title = titleForState(st);
    QFont f = font_.qFont();
    QFontMetricsF m(f);
    CGFloat tw = title.empty() ? 0 : std::ceil(m.horizontalAdvance(QString::fromStdString(title)));
    CGSize is = img ? img->size() : CGSize{};
    // Image then title, as one group placed by the content alignment.
    CGFloat groupW = is.width + imageInsets_.left + imageInsets_.right + tw + titleInsets_.left + titleInsets_.right;
    CGFloat x0 = content.origin.x + (content.size.width - groupW) / 2;
    if (contentHorizontalAlignment == UIControlContentHorizontalAlignment::Left) x0 = content.origin.x;
    if (contentHorizontalAlignment == UIControlContentHorizontalAlignment::Right)
        x0 = content.origin.x + content.size.width - groupW;
    if (img) {
        CGRect ir;
        if (contentHorizontalAlignment == UIControlContentHorizontalAlignment::Fill ||
            contentVerticalAlignment == UIControlContentVerticalAlignment::Fill) {
            ir = UIEdgeInsetsInsetRect(content, imageInsets_);
        } else {
            ir = CGRectMake(x0 + imageInsets_.left,
                            content.origin.y + (content.size.height - is.height) / 2 + imageInsets_.top -
                                imageInsets_.bottom,
                            is.width, is.height);
        }
        img->drawInRect(p, ir);
        if (isHighlighted() && adjustsImageWhenHighlighted && !imageForState(UIControlStateHighlighted)) {
            p.fillRect(QRectF(ir.origin.x, ir.origin.y, ir.size.width, ir.size.height), QColor(0, 0, 0, 80));
        }
    }
    if (!title.empty()) {
        CGFloat tx = x0 + is.width + imageInsets_.left + imageInsets_.right + titleInsets_.left;
        QRectF tr(tx, content.origin.y + titleInsets_.top, tw,
                  content.size.height - titleInsets_.top - titleInsets_.bottom);
        p.setFont(f);
        p.setPen(titleColorForState(st).qColor());
        QString text = m.elidedText(QString::fromStdString(title), Qt::ElideMiddle,
                                    content.size.width - titleInsets_.left - titleInsets_.right);
        TextAudit::drawText(p, this, tr.adjusted(-1, 0, 1, 0), Qt::AlignCenter | Qt::TextSingleLine, text, title,
                            text != QString::fromStdString(title), !isEnabled());
    }
}

}  // namespace lumora
