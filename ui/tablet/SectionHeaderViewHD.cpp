#include "ui/tablet/SectionHeaderViewHD.h"

#include <memory>

#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UITapGestureRecognizer.h"

namespace lumora {

SectionHeaderViewHD::SectionHeaderViewHD(const CGRect& frame, const std::string& title, int section, bool opened,
                                         SectionHeaderViewDelegate* d)
    : UIView(frame), delegate(d), section_(section), opened_(opened) {
    const CGRect b = bounds();
    const CGFloat W = b.size.width;

    auto* label = new UILabel(CGRect{{b.origin.x + 35, b.origin.y + 5}, {W - 70, b.size.height - 10}});
    label->setText(title);
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setTextColor(UIColor::whiteColor());
    label->setBackgroundColor(UIColor::clearColor());
    setViewName(label, "sectionTitle");
    addSubview(label);
    titleLabel_ = label;

    auto* arrow = new UIButton(CGRect{{0, 0}, {35, 35}});
    arrow->setImage(UIImage::imageNamed("sarrow1.png"), UIControlStateNormal);
    arrow->setImage(UIImage::imageNamed("sarrow2.png"), UIControlStateSelected);
    arrow->setUserInteractionEnabled(false);
    arrow->setSelected(opened);
    setViewName(arrow, "sectionDisclosure");
    addSubview(arrow);
    disclosureButton_ = arrow;

    auto* right = new UIButton(CGRect{{W - 35, 0}, {35, 35}});
    right->setImage(UIImage::imageNamed("larrow.png"), UIControlStateNormal);
    auto tap = std::make_shared<UITapGestureRecognizer>();
    tap->addTarget(this, [this](UIGestureRecognizer&) { headerDiscosureBtnClicked(); });
    right->addGestureRecognizer(tap);
    setViewName(right, "sectionView");
    addSubview(right);
    rightButton_ = right;

    auto* bar = new UIButton(frame);
    bar->setBackgroundImage(UIImage::imageNamed("section.png"), UIControlStateNormal);
    bar->setBackgroundImage(UIImage::imageNamed("section_clk.png"), UIControlStateHighlighted);
    bar->addTarget(this, [this](UIControl*, UIEvent*) { toggleAction(); }, UIControlEventTouchUpInside);
    setViewName(bar, "sectionBar");
    insertSubviewBelowSubview(bar, label);
}

void SectionHeaderViewHD::setIsOnLine(bool online) {
    if (titleLabel_) titleLabel_->setTextColor(online ? UIColor::greenColor() : UIColor::whiteColor());
}

void SectionHeaderViewHD::toggleAction() {
    if (!disclosureButton_) return;
    const bool open = !disclosureButton_->isSelected();
    disclosureButton_->setSelected(open);
    if (!delegate) return;
    if (open) delegate->sectionHeaderViewSectionOpened(this, section_);
    else delegate->sectionHeaderViewSectionClosed(this, section_);
}

void SectionHeaderViewHD::headerDiscosureBtnClicked() {
    if (delegate) delegate->sectionHeaderViewSectionClicked(this, section_);
}

}  // namespace lumora
