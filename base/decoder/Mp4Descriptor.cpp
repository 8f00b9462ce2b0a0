#include "base/decoder/Mp4Descriptor.h"

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "platform/bytes/ByteWriter.h"

namespace lumora {

Mp4Descriptor::Mp4Descriptor(uint8_t tag) : fTag(tag) {
    if (tag == kTagES) {
        fProperties.Add(SmartPtr<Mp4Property>(new Mp4Property(Mp4Property::kInteger, 1, "objectTypeId")));
        fProperties.Add(SmartPtr<Mp4Property>(new Mp4Property(Mp4Property::kInteger, 1, "streamType")));
        fProperties.Add(SmartPtr<Mp4Property>(new Mp4Property(Mp4Property::kInteger, 3, "bufferSize")));
        fProperties.Add(SmartPtr<Mp4Property>(new Mp4Property(Mp4Property::kInteger, 4, "maxBitrate")));
        fProperties.Add(SmartPtr<Mp4Property>(new Mp4Property(Mp4Property::kInteger, 4, "avgBitrate")));
    }
}

Mp4Property* Mp4Descriptor::FindProperty(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (const auto& p : fProperties) {
        if (p && Mp4Property::NameEquals(p->GetName(), name)) return p.get();
    }
    return nullptr;
}

int Mp4Descriptor::Write(Mp4File* file) {
    if (!file) return mp4err::kFailed;
    ByteWriter out(40);
    if (fTag == kTagInitialObject) {
        static const uint8_t image[] = {0x10, 0x80, 0x80, 0x80, 0x07, 0x00, 0x4F, 0xFF, 0xFF, 0x0F, 0x7F, 0xFF};
        out.bytes(image, sizeof image);
    } else if (fTag == kTagES) {
        auto value = [this](const char* name) {
            const Mp4Property* p = FindProperty(name);
            return p ? static_cast<uint32_t>(p->GetValue()) : 0u;
        };
        static const uint8_t head[] = {0x03, 0x80, 0x80, 0x80, 0x22, 0x00, 0x00, 0x00,
                                       0x04, 0x80, 0x80, 0x80, 0x14, 0x40, 0x15};
        static const uint8_t tail[] = {0x05, 0x80, 0x80, 0x80, 0x02, 0x11, 0x90,
                                       0x06, 0x80, 0x80, 0x80, 0x01, 0x02};
        const uint32_t bufferSize = value("bufferSize");
        out.bytes(head, sizeof head);
        out.u8(static_cast<uint8_t>(bufferSize >> 16)).u16be(static_cast<uint16_t>(bufferSize));
        out.u32be(value("maxBitrate")).u32be(value("avgBitrate"));
        out.bytes(tail, sizeof tail);
    } else {
        return 0;
    }
    return file->Write(out.data(), out.size()) == out.size() ? 0 : mp4err::kShortWrite;
}

}  // namespace lumora
