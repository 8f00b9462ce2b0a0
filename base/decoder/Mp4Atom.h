#pragma once

#include <cstdint>
#include <string_view>

#include "base/decoder/BaseObject.h"
#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4ArrayProperty.h"
#include "base/decoder/Mp4Property.h"
#include "base/decoder/SmartPtr.h"

namespace lumora {

class Mp4File;

// One MP4 box: a four-character type, typed properties in writing order and
// child boxes in writing order. A box of a known type gets its properties
// from a fixed catalogue when made, and its default children and starting
// values when added to a parent (CreateChildren). Boxes and properties are
// reached by dotted paths ("moov.mvhd.duration").
//
// Parent and child hold counted references to each other: a tree stays
// alive until Clear() is called on its root, which every owner of a tree
// must do before letting it go.
class Mp4Atom : public BaseObject {
public:
    explicit Mp4Atom(std::string_view name);

    // Adds the catalogue's default children and sets its starting values.
    virtual void CreateChildren();
    // Adds the catalogue's properties (called by the constructor).
    virtual void CreateProperties();
    // Zeroes the header fields: positions, size and type.
    virtual void ClearType();

    // Every name of the dotted path but the last selects an existing child;
    // a new box named by the last is made, placed at index when 0 <= index <
    // child count (else at the end) and given its default children. The new
    // box, or none when a step is missing.
    Mp4Atom* AddChild(std::string_view path, int32_t index);
    // The first child whose type equals the first four characters of name.
    Mp4Atom* FindChild(std::string_view name) const;
    // Follows a dotted path of FindChild steps.
    Mp4Atom* FindAtom(std::string_view path) const;
    // The boxes of the path before its last dot, then the first property of
    // the last name (ignoring case); a descriptor list met on the way answers
    // for its first descriptor.
    Mp4Property* FindProperty(std::string_view path) const;
    // A column of the table at path.
    Mp4ArrayProperty* FindColumn(std::string_view path, std::string_view column) const;

    // Property operations by path; a missing property is ignored.
    void SetInteger(std::string_view path, int64_t v);
    void SetFloat(std::string_view path, float f);
    void SetString(std::string_view path, const char* text);

    // Appends a property of that kind: kind 7 a descriptor list, kind 9 a
    // size table, kinds 6 and 8 nothing (tables are made with their columns).
    Mp4Property* AddProperty(uint32_t kind, int32_t width, std::string_view name);
    // The header of a full box: "version" (1 byte) and "flags" (3 bytes).
    void AddVersionAndFlags();

    Mp4Atom* ChildAt(int32_t index) const { return fChildren.Get(index).get(); }
    int32_t ChildCount() const { return fChildren.Count(); }
    Mp4Property* PropertyAt(int32_t index) const { return fProperties.Get(index).get(); }
    int32_t PropertyCount() const { return fProperties.Count(); }
    Mp4Atom* GetParent() const { return fParent.get(); }
    // The type, up to four characters ("" for a box without type).
    std::string_view GetType() const;
    bool IsType(std::string_view type) const;
    int64_t GetStart() const { return fStart; }
    int64_t GetEnd() const { return fEnd; }
    int64_t GetSize() const { return fSize; }

    // Writes header, properties and children, then patches the size:
    // 0, -17 without file, -1 for "mdat" and "root" (their owner writes
    // them), or the first failure (-13, -14, -15, -16).
    int Write(Mp4File* file);
    // Notes the start and writes the stored size and the type: 0 or -15.
    int WriteHeader(Mp4File* file);
    // Notes the end and writes the size at the start: 0, -15 when the file
    // cannot move or take the word, -16 when the size passes 32 bits.
    int PatchSize(Mp4File* file);

    // Tears the subtree down, depth first: drops the parent reference, clears
    // every child, empties the lists and zeroes the header fields.
    void Clear();

private:
    char fType[5] = {0, 0, 0, 0, 0};
    int64_t fStart = 0;
    int64_t fEnd = 0;
    int64_t fSize = 0;
    Mp4Array<SmartPtr<Mp4Property>> fProperties;
    Mp4Array<SmartPtr<Mp4Atom>> fChildren;
    SmartPtr<Mp4Atom> fParent;

    Mp4Property* AddInteger(std::string_view name, int32_t width);
    void AddTable(std::string_view name, std::initializer_list<std::string_view> columns);
};

}  // namespace lumora
