#pragma once

#include <cstdint>

namespace lumora {

// Base of the MP4 writer's shared objects (boxes, properties, descriptors,
// tracks, the output file). Objects start with a count of 0 and are held
// through SmartPtr or Mp4Array, which add and drop references; the last
// Release deletes the object. Counts are plain integers: these objects
// belong to one thread at a time.
class BaseObject {
public:
    BaseObject() = default;
    BaseObject(const BaseObject&) = delete;
    BaseObject& operator=(const BaseObject&) = delete;
    virtual ~BaseObject() = default;

    // Adds a reference and answers the new count.
    virtual int32_t AddRef();
    // Drops a reference and answers the new count; at 0 the object deletes
    // itself. Releasing an object nobody holds does nothing.
    virtual int32_t Release();

    int32_t RefCount() const { return fRefCount; }

private:
    int32_t fRefCount = 0;
};

}  // namespace lumora
