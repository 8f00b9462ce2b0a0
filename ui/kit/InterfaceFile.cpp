#include "ui/kit/InterfaceFile.h"

#include <map>

#include "platform/Log.h"

namespace lumora {

namespace {
std::map<std::string, InterfaceFile::Builder>& registry() {
    static std::map<std::string, InterfaceFile::Builder> r;
    return r;
}
}  // namespace

bool InterfaceFile::registerFile(const std::string& name, Builder builder) {
    registry()[name] = std::move(builder);
    return true;
}

UIView* InterfaceFile::load(const std::string& name, void* owner) {
    auto it = registry().find(name);
    if (it == registry().end()) {
        Log::warn("InterfaceFile", "no interface file \"%s\"", name.c_str());
        return nullptr;
    }
    return it->second(owner);
}

bool InterfaceFile::exists(const std::string& name) { return registry().count(name) > 0; }

}  // namespace lumora
