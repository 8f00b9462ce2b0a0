#pragma once

#include "platform/Application.h"
#include "ui/kit/UIAlertView.h"

namespace lumora {

// Draws the alerts the application delegate shows (Application::showAlert)
// as alert views in the key window, and answers the application with the
// button the user taps. Detaches in its destructor.
class ApplicationAlertBridge : public UIAlertViewDelegate {
public:
    explicit ApplicationAlertBridge(Application& application);
    ~ApplicationAlertBridge() override;
    ApplicationAlertBridge(const ApplicationAlertBridge&) = delete;
    ApplicationAlertBridge& operator=(const ApplicationAlertBridge&) = delete;

    void alertViewClickedButtonAtIndex(UIAlertView* alert, int buttonIndex) override;

private:
    void show(const Application::Alert& alert);
    Application& app_;
    std::vector<QPointer<UIAlertView>> shown_;
};

}  // namespace lumora
