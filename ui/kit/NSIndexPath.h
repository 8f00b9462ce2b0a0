#pragma once

namespace lumora {

// A row in a section of a table.
struct NSIndexPath {
    int section = 0;
    int row = 0;
    bool operator==(const NSIndexPath& o) const { return section == o.section && row == o.row; }
    bool operator!=(const NSIndexPath& o) const { return !(*this == o); }
    bool operator<(const NSIndexPath& o) const { return section != o.section ? section < o.section : row < o.row; }
};

inline NSIndexPath indexPathForRow(int row, int section) { return NSIndexPath{section, row}; }

}  // namespace lumora
