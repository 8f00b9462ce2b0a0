#pragma once

#include <atomic>

namespace lumora {

enum class UserInterfaceIdiom {
    Unspecified,  // not known: treated like a phone wherever the kind matters
    Phone,
    Pad,
};

// The kind of device the client runs as. There is no device to ask here:
// the process entry (or a GUI front end) sets it at start-up, tests set it
// before they start the code under test. Until then it is Unspecified.
// Thread-safe.
class InterfaceIdiom {
public:
    static UserInterfaceIdiom current() { return slot().load(std::memory_order_acquire); }
    static void setCurrent(UserInterfaceIdiom idiom) { slot().store(idiom, std::memory_order_release); }
    static bool isPad() { return current() == UserInterfaceIdiom::Pad; }

private:
    static std::atomic<UserInterfaceIdiom>& slot() {
        static std::atomic<UserInterfaceIdiom> idiom{UserInterfaceIdiom::Unspecified};
        return idiom;
    }
};

}  // namespace lumora
