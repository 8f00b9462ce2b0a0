#include "base/network/NETStatusObj.h"

namespace lumora {

NETStatusObj& NETStatusObj::sharedInstance() {
    static NETStatusObj instance;  // created once, thread-safely
    return instance;
}

}  // namespace lumora
