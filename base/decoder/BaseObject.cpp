#include "base/decoder/BaseObject.h"

namespace lumora {

int32_t BaseObject::AddRef() { return ++fRefCount; }

int32_t BaseObject::Release() {
    if (fRefCount <= 0) return 0;
    const int32_t left = --fRefCount;
    if (left == 0) delete this;
    return left;
}

}  // namespace lumora
