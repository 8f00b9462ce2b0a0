#pragma once

#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4ArrayProperty.h"
#include "base/decoder/SmartPtr.h"

namespace lumora {

// A sample table (kind 6): named columns of 32-bit values, written row by
// row. The first column sets the number of rows; a shorter column gives 0
// for its missing cells.
class Mp4TableProperty : public Mp4Property {
public:
    explicit Mp4TableProperty(std::string_view name) : Mp4Property(kTable, 0, name) {}

    // Appends a new, empty column and answers it.
    Mp4ArrayProperty* AddColumn(std::string_view name);
    // The first column of that name (ignoring case); none for an empty name.
    Mp4ArrayProperty* FindColumn(std::string_view name) const;
    Mp4ArrayProperty* ColumnAt(int32_t index) const { return fColumns.Get(index).get(); }
    int32_t ColumnCount() const { return fColumns.Count(); }
    int32_t RowCount() const;

    // Reads SetLength rows of one 32-bit word per column.
    int Read(Mp4File* file) override;
    // Writes every row: one 32-bit big-endian word per column.
    int Write(Mp4File* file) override;

private:
    Mp4Array<SmartPtr<Mp4ArrayProperty>> fColumns;
};

}  // namespace lumora
