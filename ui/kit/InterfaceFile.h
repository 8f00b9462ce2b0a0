#pragma once

#include <functional>
#include <string>

namespace lumora {

class UIView;

// Interface files as code: one builder per named file. A builder makes the
// views, gives each its outlet name (objectName) and wires the actions to
// its owner; load() runs the builder registered under the file's name.
class InterfaceFile {
public:
    using Builder = std::function<UIView*(void* owner)>;
    // Answers true (for static registration).
    static bool registerFile(const std::string& name, Builder builder);
    // nullptr when no builder is registered under the name.
    static UIView* load(const std::string& name, void* owner);
    static bool exists(const std::string& name);
};

}  // namespace lumora
