#include "base/decoder/Mp4Atom.h"

#include <cstring>
#include <limits>

#include "base/decoder/Mp4DescriptorProperty.h"
#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "base/decoder/Mp4SizeTableProperty.h"
#include "base/decoder/Mp4TableProperty.h"
#include "platform/bytes/ByteWriter.h"

namespace lumora {

namespace {

// The type a name stands for: its first four characters, zero padded.
void typeOf(std::string_view name, char out[4]) {
    std::memset(out, 0, 4);
    std::memcpy(out, name.data(), name.size() < 4 ? name.size() : 4);
}

// The unity transformation matrix of "mvhd" and "tkhd".
std::vector<uint8_t> unityMatrix() {
    ByteWriter m(36);
    for (uint32_t v : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) m.u32be(v);
    return m.take();
}

// Splits "a.b.c" into "a.b" and "c"; no dot: "" and the whole.
std::pair<std::string_view, std::string_view> splitLast(std::string_view path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return {std::string_view{}, path};
    return {path.substr(0, dot), path.substr(dot + 1)};
}

}  // namespace

Mp4Atom::Mp4Atom(std::string_view name) {
    typeOf(name, fType);
    CreateProperties();
}

std::string_view Mp4Atom::GetType() const { return std::string_view(fType, strnlen(fType, 4)); }

bool Mp4Atom::IsType(std::string_view type) const {
    char t[4];
    typeOf(type, t);
    return std::memcmp(t, fType, 4) == 0;
}

Mp4Property* Mp4Atom::AddProperty(uint32_t kind, int32_t width, std::string_view name) {
    SmartPtr<Mp4Property> p;
    switch (kind) {
    case Mp4Property::kDescriptors:
        p = new Mp4DescriptorProperty(name);
        break;
    case Mp4Property::kSizeTable:
        p = new Mp4SizeTableProperty(name);
        break;
    case Mp4Property::kTable:
    case Mp4Property::kArray:
        return nullptr;
    default:
        p = new Mp4Property(kind, width, name);
        break;
    }
    fProperties.Add(p);
    return p.get();
}

Mp4Property* Mp4Atom::AddInteger(std::string_view name, int32_t width) {
    return AddProperty(Mp4Property::kInteger, width, name);
}

void Mp4Atom::AddTable(std::string_view name, std::initializer_list<std::string_view> columns) {
    SmartPtr<Mp4TableProperty> table(new Mp4TableProperty(name));
    for (auto c : columns) table->AddColumn(c);
    fProperties.Add(SmartPtr<Mp4Property>(table.get()));
}

void Mp4Atom::AddVersionAndFlags() {
    AddInteger("version", 1);
    AddInteger("flags", 3);
}

void Mp4Atom::CreateProperties() {
    using K = Mp4Property::Kind;
    auto bytes = [this](std::string_view n, int32_t w) { AddProperty(K::kBytes, w, n); };
    auto text = [this](std::string_view n, int32_t w) { AddProperty(K::kString, w, n); };
    auto fixed = [this](std::string_view n, int32_t w) { AddProperty(K::kFixed, w, n); };
    auto integer = [this](std::string_view n, int32_t w) { AddInteger(n, w); };

    if (IsType("ftyp")) {
        text("majorBrand", 4);
        integer("minorVersion", 4);
        text("brands", 0);
    } else if (IsType("mvhd")) {
        AddVersionAndFlags();
        integer("creationTime", 4);
        integer("modificationTime", 4);
        integer("timeScale", 4);
        integer("duration", 4);
        fixed("rate", 4);
        fixed("volume", 2);
        bytes("reserved1", 10);
        bytes("reserved2", 60);
        integer("nextTrackId", 4);
    } else if (IsType("iods")) {
        AddVersionAndFlags();
        auto* d = static_cast<Mp4DescriptorProperty*>(AddProperty(K::kDescriptors, 0, "descriptor"));
        d->AddDescriptor(Mp4Descriptor::kTagInitialObject);
    } else if (IsType("tkhd")) {
        AddVersionAndFlags();
        integer("creationTime", 4);
        integer("modificationTime", 4);
        integer("trackId", 4);
        integer("reserved1", 4);
        integer("duration", 4);
        bytes("reserved2", 12);
        fixed("volume", 2);
        integer("reserved3", 2);
        bytes("matrix", 36);
        fixed("width", 4);
        fixed("height", 4);
    } else if (IsType("mdhd")) {
        AddVersionAndFlags();
        integer("creationTime", 4);
        integer("modificationTime", 4);
        integer("timeScale", 4);
        integer("duration", 4);
        integer("language", 2);
        integer("quality", 2);
    } else if (IsType("hdlr")) {
        AddVersionAndFlags();
        text("type", 4);
        text("handlerType", 4);
        text("manufacturer", 4);
        bytes("reserved1", 9);
    } else if (IsType("vmhd")) {
        AddVersionAndFlags();
        bytes("reserved", 8);
    } else if (IsType("smhd")) {
        AddVersionAndFlags();
        bytes("reserved", 4);
    } else if (IsType("dref") || IsType("stsd")) {
        AddVersionAndFlags();
        integer("entryCount", 4);
    } else if (IsType("url ")) {
        AddVersionAndFlags();
    } else if (IsType("stts")) {
        AddVersionAndFlags();
        integer("entryCount", 4);
        AddTable("entries", {"sampleCount", "sampleDelta"});
    } else if (IsType("stsz")) {
        AddVersionAndFlags();
        integer("sampleSize", 4);
        integer("entryCount", 4);
        AddTable("entries", {"sampleSize"});
    } else if (IsType("stsc")) {
        AddVersionAndFlags();
        integer("entryCount", 4);
        AddTable("entries", {"firstChunk", "samplesPerChunk", "sampleDescriptionIndex"});
    } else if (IsType("stco")) {
        AddVersionAndFlags();
        integer("entryCount", 4);
        AddTable("entries", {"chunkOffset"});
    } else if (IsType("stss")) {
        AddVersionAndFlags();
        integer("entryCount", 4);
        AddTable("entries", {"sampleNumber"});
    } else if (IsType("ctts")) {
        AddVersionAndFlags();
        integer("entryCount", 4);
        AddTable("entries", {"sampleCount", "sampleOffset"});
    } else if (IsType("avc1")) {
        bytes("reserved1", 6);
        integer("dataReferenceIndex", 2);
        integer("version", 2);
        integer("level", 2);
        integer("vendor", 4);
        integer("temporalQuality", 4);
        integer("spatialQuality", 4);
        integer("width", 2);
        integer("height", 2);
        fixed("hor", 4);
        fixed("ver", 4);
        integer("dataSize", 4);
        integer("frameCount", 2);
        text("compressorName", 32);
        integer("depth", 2);
        integer("colorTable", 2);
    } else if (IsType("avcC")) {
        integer("configurationVersion", 1);
        integer("AVCProfileIndication", 1);
        integer("profile_compatibility", 1);
        integer("AVCLevelIndication", 1);
        integer("lengthSizeMinusOne", 1);
        AddProperty(K::kBits, 3, "reserved2");
        AddProperty(K::kBits, 5, "numOfSequenceParameterSets");
        AddProperty(K::kSizeTable, 0, "sequenceEntries");
        integer("numOfPictureParameterSets", 1);
        AddProperty(K::kSizeTable, 0, "pictureEntries");
    } else if (IsType("mp4a")) {
        bytes("reserved1", 6);
        integer("dataReferenceIndex", 2);
        integer("version", 2);
        integer("level", 2);
        integer("vendor", 4);
        integer("channels", 2);
        integer("sampleSize", 2);
        integer("packetSize", 2);
        integer("sampleRate", 4);
        integer("reserved2", 2);
    } else if (IsType("esds")) {
        AddVersionAndFlags();
        auto* d = static_cast<Mp4DescriptorProperty*>(AddProperty(K::kDescriptors, 0, "descriptor"));
        d->AddDescriptor(Mp4Descriptor::kTagES);
    } else if (IsType("samr")) {
        bytes("reserved1", 6);
        integer("dataReferenceIndex", 2);
        integer("version", 2);
        integer("level", 2);
        integer("vendor", 4);
        integer("channels", 2);
        integer("sampleSize", 2);
        bytes("reserved2", 4);
        integer("timeScale", 2);
        integer("reserved3", 2);
    } else if (IsType("damr")) {
        integer("vendor", 4);
        integer("decoderVersion", 1);
        integer("modeSet", 2);
        integer("modeChangePeriod", 1);
        integer("framesPerSample", 1);
    } else if (IsType("free")) {
        bytes("reserved1", 16);
    }
}

void Mp4Atom::CreateChildren() {
    auto children = [this](std::initializer_list<std::string_view> names) {
        for (auto n : names) AddChild(n, -1);
    };
    if (IsType("root")) {
        children({"ftyp", "mdat", "moov"});
    } else if (IsType("ftyp")) {
        SetString("majorBrand", "mp42");
        SetString("brands", "mp42isom");
    } else if (IsType("moov")) {
        children({"mvhd", "iods"});
    } else if (IsType("mvhd")) {
        SetInteger("timeScale", 1000);
        SetFloat("rate", 1.0f);
        SetFloat("volume", 1.0f);
        SetInteger("nextTrackId", 1);
        const auto m = unityMatrix();
        if (auto* p = FindProperty("reserved2")) p->SetBytes(m.data(), m.size());
    } else if (IsType("trak")) {
        children({"tkhd", "mdia"});
    } else if (IsType("tkhd")) {
        SetInteger("flags", 1);
        const auto m = unityMatrix();
        if (auto* p = FindProperty("matrix")) p->SetBytes(m.data(), m.size());
    } else if (IsType("mdia")) {
        children({"mdhd", "hdlr", "minf"});
    } else if (IsType("minf")) {
        children({"dinf", "stbl"});
    } else if (IsType("vmhd") || IsType("url ")) {
        SetInteger("flags", 1);
    } else if (IsType("dinf")) {
        children({"dref"});
    } else if (IsType("dref")) {
        SetInteger("entryCount", 1);
        children({"url "});
    } else if (IsType("stbl")) {
        children({"stsd", "stts", "stsz", "stsc", "stco"});
    } else if (IsType("avc1")) {
        SetInteger("dataReferenceIndex", 1);
        SetFloat("hor", 72.0f);
        SetFloat("ver", 72.0f);
        SetInteger("frameCount", 1);
        SetString("compressorName", "AVC Coding");
        SetInteger("depth", 24);
        SetInteger("colorTable", 0xFFFF);
        children({"avcC"});
    } else if (IsType("avcC")) {
        SetInteger("configurationVersion", 1);
        SetInteger("lengthSizeMinusOne", 255);
        SetInteger("reserved2", 7);
    } else if (IsType("mp4a")) {
        SetInteger("dataReferenceIndex", 1);
        SetInteger("sampleSize", 16);
        children({"esds"});
    } else if (IsType("samr")) {
        SetInteger("dataReferenceIndex", 1);
        SetInteger("channels", 2);
        SetInteger("sampleSize", 16);
        children({"damr"});
    } else if (IsType("damr")) {
        SetInteger("vendor", 0x6D346970);
        SetInteger("decoderVersion", 1);
        SetInteger("framesPerSample", 1);
    }
}

void Mp4Atom::ClearType() {
    fStart = fEnd = fSize = 0;
    std::memset(fType, 0, sizeof fType);
}

Mp4Atom* Mp4Atom::AddChild(std::string_view path, int32_t index) {
    auto [parentPath, name] = splitLast(path);
    if (name.empty()) return nullptr;
    Mp4Atom* parent = this;
    if (!parentPath.empty()) parent = FindAtom(parentPath);
    if (!parent) return nullptr;
    SmartPtr<Mp4Atom> child(new Mp4Atom(name));
    child->fParent = parent;
    child->CreateChildren();
    parent->fChildren.Insert(child, index);
    return child.get();
}

Mp4Atom* Mp4Atom::FindChild(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (const auto& c : fChildren) {
        if (c && c->IsType(name)) return c.get();
    }
    return nullptr;
}

Mp4Atom* Mp4Atom::FindAtom(std::string_view path) const {
    if (path.empty()) return nullptr;
    const Mp4Atom* atom = this;
    while (atom) {
        const size_t dot = path.find('.');
        atom = atom->FindChild(path.substr(0, dot));
        if (dot == std::string_view::npos) break;
        path.remove_prefix(dot + 1);
    }
    return const_cast<Mp4Atom*>(atom);
}

Mp4Property* Mp4Atom::FindProperty(std::string_view path) const {
    if (path.empty()) return nullptr;
    auto [boxPath, name] = splitLast(path);
    const Mp4Atom* atom = boxPath.empty() ? this : FindAtom(boxPath);
    if (!atom || name.empty()) return nullptr;
    for (const auto& p : atom->fProperties) {
        if (!p) continue;
        if (p->GetKind() == Mp4Property::kDescriptors) {
            return static_cast<const Mp4DescriptorProperty*>(p.get())->FindProperty(name);
        }
        if (Mp4Property::NameEquals(p->GetName(), name)) return p.get();
    }
    return nullptr;
}

Mp4ArrayProperty* Mp4Atom::FindColumn(std::string_view path, std::string_view column) const {
    Mp4Property* p = FindProperty(path);
    if (!p || p->GetKind() != Mp4Property::kTable || column.empty()) return nullptr;
    return static_cast<Mp4TableProperty*>(p)->FindColumn(column);
}

void Mp4Atom::SetInteger(std::string_view path, int64_t v) {
    if (auto* p = FindProperty(path)) p->SetInteger(v);
}

void Mp4Atom::SetFloat(std::string_view path, float f) {
    if (auto* p = FindProperty(path)) p->SetFloat(f);
}

void Mp4Atom::SetString(std::string_view path, const char* text) {
    if (auto* p = FindProperty(path)) p->SetString(text);
}

int Mp4Atom::Write(Mp4File* file) {
    if (!file) return mp4err::kNoFile;
    if (IsType("mdat") || IsType("root")) return mp4err::kFailed;
    if (int rc = WriteHeader(file); rc != 0) return rc;
    for (int32_t i = 0; i < fProperties.Count(); ++i) {
        Mp4Property* p = fProperties[i].get();
        if (!p) return mp4err::kMissingProperty;
        if (int rc = p->Write(file); rc != 0) return rc;
    }
    for (int32_t i = 0; i < fChildren.Count(); ++i) {
        Mp4Atom* c = fChildren[i].get();
        if (!c) return mp4err::kMissingChild;
        if (int rc = c->Write(file); rc != 0) return rc;
    }
    return PatchSize(file);
}

int Mp4Atom::WriteHeader(Mp4File* file) {
    if (!file) return mp4err::kNoFile;
    const int64_t start = file->GetPosition();
    if (start < 0) return mp4err::kShortWrite;
    fStart = start;
    size_t n = file->WriteInteger(static_cast<uint64_t>(fSize), 4);
    n += file->Write(fType, 4);
    return n == 8 ? 0 : mp4err::kShortWrite;
}

int Mp4Atom::PatchSize(Mp4File* file) {
    if (!file) return mp4err::kNoFile;
    const int64_t end = file->GetPosition();
    if (end < fStart) return mp4err::kShortWrite;
    const int64_t size = end - fStart;
    // A 32-bit size field cannot describe more; writing its low bits would
    // make the file unreadable past this box.
    if (size > std::numeric_limits<uint32_t>::max()) return mp4err::kTooLarge;
    fEnd = end;
    fSize = size;
    if (file->SetPosition(fStart) != 0) return mp4err::kShortWrite;
    const size_t n = file->WriteInteger(static_cast<uint64_t>(size), 4);
    if (file->SetPosition(end) != 0) return mp4err::kShortWrite;
    return n == 4 ? 0 : mp4err::kShortWrite;
}

void Mp4Atom::Clear() {
    fParent = nullptr;
    for (const auto& c : fChildren) {
        if (c) c->Clear();
    }
    fProperties.Clear();
    fChildren.Clear();
    fStart = fEnd = fSize = 0;
}

}  // namespace lumora
