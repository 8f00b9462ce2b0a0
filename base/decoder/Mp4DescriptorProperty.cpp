#include "base/decoder/Mp4DescriptorProperty.h"

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"

namespace lumora {

Mp4Descriptor* Mp4DescriptorProperty::AddDescriptor(uint8_t tag) {
    SmartPtr<Mp4Descriptor> d(new Mp4Descriptor(tag));
    fDescriptors.Add(d);
    return d.get();
}

Mp4Property* Mp4DescriptorProperty::FindProperty(std::string_view name) const {
    const Mp4Descriptor* first = fDescriptors.Get(0).get();
    return first ? first->FindProperty(name) : nullptr;
}

int Mp4DescriptorProperty::Write(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    for (const auto& d : fDescriptors) {
        if (!d) break;
        if (int rc = d->Write(file); rc != 0) return rc;
    }
    return 0;
}

int Mp4DescriptorProperty::Read(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    uint8_t tag = 0;
    if (file->Read(&tag, 1) != 1) return mp4err::kFailed;
    // Size: up to four bytes of seven bits each, the top bit marking another byte.
    int64_t size = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        if (file->Read(&b, 1) != 1) return mp4err::kFailed;
        size = (size << 7) | (b & 0x7F);
        if (!(b & 0x80)) break;
    }
    if (size > file->Remaining()) return mp4err::kFailed;
    AddDescriptor(tag);
    return file->SetPosition(file->GetPosition() + size) == 0 ? 0 : mp4err::kFailed;
}

}  // namespace lumora
