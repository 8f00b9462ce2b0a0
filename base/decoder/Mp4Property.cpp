#include "base/decoder/Mp4Property.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"

namespace lumora {

namespace {

// Truncates toward zero, saturating instead of overflowing.
int64_t truncated(double d) {
    if (!std::isfinite(d)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (d <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(d);
}

int checked(size_t written, size_t expected) { return written == expected ? 0 : mp4err::kShortWrite; }

}  // namespace

Mp4Property::Mp4Property(uint32_t kind, int32_t width, std::string_view name)
    : fKind(kind), fWidth(width), fName(name) {
    if ((kind == kBytes || kind == kString) && width > 0) fBuffer.assign(static_cast<size_t>(width) + 1, 0);
}

bool Mp4Property::NameEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int64_t Mp4Property::GetValue() const { return fKind == kFixed ? truncated(fFloat) : fValue; }

void Mp4Property::SetLength(int64_t n) { fLength = n; }

void Mp4Property::SetInteger(int64_t v) {
    fValue = v;
    if (fKind == kFixed) fFloat = static_cast<float>(v);
}

void Mp4Property::SetFloat(float f) {
    fFloat = f;
    if (fKind == kInteger) fValue = truncated(f);
}

void Mp4Property::SetString(const char* text) {
    if (fKind != kString || !text) return;
    const size_t len = std::strlen(text);
    if (fWidth <= 0) {
        fBuffer.assign(text, text + len);
        return;
    }
    std::fill(fBuffer.begin(), fBuffer.end(), 0);
    std::memcpy(fBuffer.data(), text, std::min(len, static_cast<size_t>(fWidth)));
}

void Mp4Property::SetBytes(const uint8_t* bytes, size_t n) {
    if (!bytes || fWidth <= 0 || n > static_cast<size_t>(fWidth) || fBuffer.empty()) return;
    std::memcpy(fBuffer.data(), bytes, n);
}

std::string Mp4Property::GetString() const {
    const size_t limit = fWidth > 0 ? std::min(fBuffer.size(), static_cast<size_t>(fWidth)) : fBuffer.size();
    const auto* p = reinterpret_cast<const char*>(fBuffer.data());
    return std::string(p, strnlen(p, limit));
}

int Mp4Property::Write(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    switch (fKind) {
    case kInteger:
        if (fWidth < 1 || fWidth > 4) return 0;
        return checked(file->WriteInteger(static_cast<uint64_t>(fValue), fWidth), static_cast<size_t>(fWidth));
    case kFixed: {
        // Big-endian fixed point: 8.8 in two bytes, 16.16 in four.
        if (fWidth != 2 && fWidth != 4) return 0;
        const double scale = fWidth == 2 ? 256.0 : 65536.0;
        const int64_t v = std::clamp<int64_t>(truncated(static_cast<double>(fFloat) * scale),
                                              std::numeric_limits<int32_t>::min(),
                                              std::numeric_limits<uint32_t>::max());
        return checked(file->WriteInteger(static_cast<uint64_t>(v), fWidth), static_cast<size_t>(fWidth));
    }
    case kBits: {
        if (fWidth < 1 || fWidth > 7) return 0;
        const size_t before = static_cast<size_t>(file->HeldBits());
        const size_t whole = (before + static_cast<size_t>(fWidth)) / 8;
        return checked(file->WriteBits(static_cast<uint64_t>(fValue), fWidth), whole);
    }
    case kBytes:
    case kString: {
        const size_t n = fWidth > 0 ? static_cast<size_t>(fWidth) : (fKind == kString ? fBuffer.size() : 0);
        if (n == 0) return 0;
        return checked(file->Write(fBuffer.data(), n), n);
    }
    default:
        return 0;
    }
}

int Mp4Property::Read(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    uint8_t b[4];
    switch (fKind) {
    case kInteger: {
        if (fWidth < 1 || fWidth > 4) return 0;
        const auto n = static_cast<size_t>(fWidth);
        if (file->Read(b, n) != n) return mp4err::kFailed;
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v = (v << 8) | b[i];
        fValue = static_cast<int64_t>(v);
        return 0;
    }
    case kFixed: {
        if (fWidth != 2 && fWidth != 4) return 0;
        const auto n = static_cast<size_t>(fWidth);
        if (file->Read(b, n) != n) return mp4err::kFailed;
        if (fWidth == 2) {
            fFloat = static_cast<float>(b[0] + b[1] / 256.0);
        } else {
            fFloat = static_cast<float>(((b[0] << 8) | b[1]) + ((b[2] << 8) | b[3]) / 65536.0);
        }
        return 0;
    }
    case kBits:
        if (fWidth < 1 || fWidth > 7) return 0;
        fValue = file->ReadBits(fWidth);
        return 0;
    case kBytes:
    case kString: {
        if (fWidth > 0) {
            const auto n = static_cast<size_t>(fWidth);
            if (file->Read(fBuffer.data(), n) != n) return mp4err::kFailed;
            return 0;
        }
        if (fKind == kBytes) return 0;
        // Variable text: the length set beforehand, never more than the file holds.
        if (fLength < 0 || fLength > file->Remaining()) return mp4err::kFailed;
        std::vector<uint8_t> text(static_cast<size_t>(fLength));
        if (!text.empty() && file->Read(text.data(), text.size()) != text.size()) return mp4err::kFailed;
        fBuffer = std::move(text);
        return 0;
    }
    default:
        return 0;
    }
}

}  // namespace lumora
