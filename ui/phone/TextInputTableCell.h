#pragma once

#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"

namespace lumora {

class UILabel;
class UITextField;

// A table row with a caption (tag 1) and a text field (tag 2).
class TextInputTableCell : public UITableViewCell {
public:
    static constexpr const char* kReuseIdentifier = "TextInputTableCell";
    static constexpr int kLabelTag = 1;
    static constexpr int kFieldTag = 2;

    TextInputTableCell();
    UILabel* label() const;
    UITextField* field() const;
};

}  // namespace lumora
