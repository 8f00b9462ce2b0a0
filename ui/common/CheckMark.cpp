#include "ui/common/CheckMark.h"

#include "ui/kit/UIButton.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

void CheckMark::addTo(UITableViewCell* cell, CGFloat viewWidth, CGFloat cellHeight) {
    if (!cell) return;
    auto image = UIImage::imageNamed("check.png");
    CGSize size = image ? image->size() : CGSizeMake(20, 20);
    auto* button = new UIButton(CGRectMake(0, 0, size.width, size.height), UIButtonType::Custom);
    button->setImage(image);
    button->setUserInteractionEnabled(false);
    const CGFloat inset = UIScreen::mainScreen().idiom() == UserInterfaceIdiom::Pad ? 60 : 30;
    button->setCenter(CGPointMake(viewWidth - inset, cellHeight / 2));
    setViewName(button, "check");
    cell->contentView()->addSubview(button);
}

}  // namespace lumora
