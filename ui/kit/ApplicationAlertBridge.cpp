#include "ui/kit/ApplicationAlertBridge.h"

#include <vector>

#include "ui/kit/UIApplication.h"

namespace lumora {

namespace {
const char* kAlertTitle = "lumoraAlertTitle";
const char* kAlertMessage = "lumoraAlertMessage";
const char* kAlertContext = "lumoraAlertContext";
}  // namespace

ApplicationAlertBridge::ApplicationAlertBridge(Application& application) : app_(application) {
    app_.setAlertShownHandler([this](const Application::Alert& alert) { show(alert); });
}

ApplicationAlertBridge::~ApplicationAlertBridge() {
    app_.setAlertShownHandler(nullptr);
    for (auto& a : shown_)
        if (a) a->delegate = nullptr;
}

void ApplicationAlertBridge::show(const Application::Alert& alert) {
    if (!UIApplication::sharedApplication().keyWindow() || alert.buttons.empty()) return;
    // The application's first button is the cancel button (index 0).
    std::vector<std::string> others(alert.buttons.begin() + 1, alert.buttons.end());
    auto* view = new UIAlertView(alert.title, alert.message, this, alert.buttons.front(), others);
    view->setTag(alert.tag);
    view->setProperty(kAlertTitle, QString::fromStdString(alert.title));
    view->setProperty(kAlertMessage, QString::fromStdString(alert.message));
    view->setProperty(kAlertContext, QString::fromStdString(alert.context));
    shown_.push_back(view);
    view->show();
}

void ApplicationAlertBridge::alertViewClickedButtonAtIndex(UIAlertView* view, int buttonIndex) {
    const auto& alerts = app_.shownAlerts();
    for (size_t i = 0; i < alerts.size(); ++i) {
        const auto& a = alerts[i];
        if (a.tag == view->tag() && a.title == view->property(kAlertTitle).toString().toStdString() &&
            a.message == view->property(kAlertMessage).toString().toStdString() &&
            a.context == view->property(kAlertContext).toString().toStdString()) {
            app_.clickAlertButton(i, buttonIndex);
            return;
        }
    }
}

}  // namespace lumora
