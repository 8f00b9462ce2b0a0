#include "ui/phone/TextInputTableCell.h"

#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITextField.h"

namespace lumora {

TextInputTableCell::TextInputTableCell() : UITableViewCell(UITableViewCellStyle::Default, kReuseIdentifier) {
    auto* label = new UILabel(CGRectMake(10, 10, 90, 30));
    label->setTag(kLabelTag);
    label->setFont(UIFont::boldSystemFontOfSize(14));
    contentView()->addSubview(label);
    auto* field = new UITextField(CGRectMake(100, 10, 190, 30));
    field->setTag(kFieldTag);
    field->setBorderStyle(UITextBorderStyle::RoundedRect);
    contentView()->addSubview(field);
}

UILabel* TextInputTableCell::label() const {
    return dynamic_cast<UILabel*>(contentView()->viewWithTag(kLabelTag));
}

UITextField* TextInputTableCell::field() const {
    return dynamic_cast<UITextField*>(contentView()->viewWithTag(kFieldTag));
}

}  // namespace lumora
