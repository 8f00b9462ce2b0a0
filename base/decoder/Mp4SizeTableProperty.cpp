#include "base/decoder/Mp4SizeTableProperty.h"

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "platform/bytes/ByteWriter.h"

namespace lumora {

namespace {
const std::vector<uint8_t> kNoEntry;
constexpr size_t kMaxEntry = 0xFFFF;
}  // namespace

bool Mp4SizeTableProperty::Add(const uint8_t* bytes, size_t n) {
    if (!bytes || n == 0) return false;
    if (n > kMaxEntry) return false;
    if (!fSizes.Add(static_cast<uint16_t>(n))) return false;
    fEntries.emplace_back(bytes, bytes + n);
    return true;
}

const std::vector<uint8_t>& Mp4SizeTableProperty::Entry(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(fEntries.size())) return kNoEntry;
    return fEntries[static_cast<size_t>(index)];
}

int Mp4SizeTableProperty::Write(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    ByteWriter out;
    for (const auto& entry : fEntries) {
        out.u16be(static_cast<uint16_t>(entry.size()));
        out.bytes(entry.data(), entry.size());
    }
    if (out.size() == 0) return 0;
    return file->Write(out.data(), out.size()) == out.size() ? 0 : mp4err::kShortWrite;
}

int Mp4SizeTableProperty::Read(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    for (int64_t i = 0; i < fLength; ++i) {
        uint8_t len[2];
        if (file->Read(len, 2) != 2) return mp4err::kFailed;
        const size_t n = (size_t{len[0]} << 8) | len[1];
        if (static_cast<int64_t>(n) > file->Remaining()) return mp4err::kFailed;
        std::vector<uint8_t> bytes(n);
        if (n > 0 && file->Read(bytes.data(), n) != n) return mp4err::kFailed;
        fSizes.Add(static_cast<uint16_t>(n));
        fEntries.push_back(std::move(bytes));
    }
    return 0;
}

}  // namespace lumora
