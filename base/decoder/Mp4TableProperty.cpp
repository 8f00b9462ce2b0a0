#include "base/decoder/Mp4TableProperty.h"

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "platform/bytes/ByteReader.h"
#include "platform/bytes/ByteWriter.h"

namespace lumora {

Mp4ArrayProperty* Mp4TableProperty::AddColumn(std::string_view name) {
    SmartPtr<Mp4ArrayProperty> column(new Mp4ArrayProperty(name));
    fColumns.Add(column);
    return column.get();
}

Mp4ArrayProperty* Mp4TableProperty::FindColumn(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (const auto& column : fColumns) {
        if (column && NameEquals(column->GetName(), name)) return column.get();
    }
    return nullptr;
}

int32_t Mp4TableProperty::RowCount() const {
    const auto& first = fColumns.Get(0);
    return first ? first->Count() : 0;
}

int Mp4TableProperty::Write(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    for (const auto& column : fColumns) {
        if (!column) return mp4err::kFailed;
    }
    const int32_t rows = RowCount();
    if (rows == 0) return 0;
    ByteWriter out(static_cast<size_t>(rows) * static_cast<size_t>(fColumns.Count()) * 4);
    for (int32_t row = 0; row < rows; ++row) {
        for (const auto& column : fColumns) out.u32be(column->GetItem(row));
    }
    return file->Write(out.data(), out.size()) == out.size() ? 0 : mp4err::kShortWrite;
}

int Mp4TableProperty::Read(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    const int64_t columns = fColumns.Count();
    if (fLength <= 0 || columns == 0) return 0;
    // Never trust a row count beyond what the file can hold.
    if (fLength > file->Remaining() / (4 * columns)) return mp4err::kFailed;
    std::vector<uint8_t> bytes(static_cast<size_t>(fLength * columns * 4));
    if (file->Read(bytes.data(), bytes.size()) != bytes.size()) return mp4err::kFailed;
    ByteReader in(bytes.data(), bytes.size());
    for (int64_t row = 0; row < fLength; ++row) {
        for (const auto& column : fColumns) {
            uint32_t v = 0;
            if (!in.u32be(v)) return mp4err::kFailed;
            column->Add(v);
        }
    }
    return 0;
}

}  // namespace lumora
