#pragma once

#include "platform/AlertPresenter.h"

namespace lumora {

// Shows the engine's one-button alerts as alert views in the key window.
// Alerts may be raised on any thread; they are shown on the main queue.
class KitAlertPresenter : public AlertPresenter {
public:
    void present(const std::string& title, const std::string& message, const std::string& buttonTitle) override;
};

}  // namespace lumora
