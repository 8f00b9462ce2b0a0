#pragma once

#include <memory>

#include "app/PhoneRootScreen.h"
#include "app/TabletRootScreen.h"

namespace lumora {

// Makes the root screen of each screen set. The process entry installs the
// screens' factory before the application launches; the application
// delegates ask it once at launch. Without an installed factory, the
// headless one is used: its screens only write diagnostic lines.
class RootScreenFactory {
public:
    virtual ~RootScreenFactory() = default;

    // The phone live-view screen ("LiveViewController").
    virtual std::shared_ptr<PhoneRootScreen> makePhoneRootScreen() = 0;
    // The tablet home screen ("ViewControllerHD").
    virtual std::shared_ptr<TabletRootScreen> makeTabletRootScreen() = 0;

    // Thread-safe; nullptr restores the headless factory.
    static void install(std::shared_ptr<RootScreenFactory> factory);
    // The factory in force (never null).
    static std::shared_ptr<RootScreenFactory> current();
};

}  // namespace lumora
