#pragma once

#include "ui/kit/UITableView.h"

namespace lumora {

// The tick of a choice row: a button with "check.png", sized to the image,
// centred 30 pt (60 pt on a pad) from the right edge of a view `viewWidth`
// wide and halfway down the cell.
class CheckMark {
public:
    static void addTo(UITableViewCell* cell, CGFloat viewWidth, CGFloat cellHeight);
};

}  // namespace lumora
