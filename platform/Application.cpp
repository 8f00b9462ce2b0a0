#include "platform/Application.h"
#include "platform/Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace lumora {

namespace {

std::atomic<Application*> gShared{nullptr};

std::mutex& handlerLock() {
    static std::mutex m;
    return m;
}
Application::ExceptionHandler& handlerSlot() {
    static Application::ExceptionHandler h;
    return h;
}

}  // namespace

Application::Application(ApplicationDelegate& delegate) : delegate_(delegate) {
    Application* expected = nullptr;
    gShared.compare_exchange_strong(expected, this);
}

Application::~Application() {
    Application* expected = this;
    gShared.compare_exchange_strong(expected, nullptr);
}

Application* Application::shared() { return gShared.load(); }

void Application::setUncaughtExceptionHandler(ExceptionHandler handler) {
    std::lock_guard<std::mutex> g(handlerLock());
    handlerSlot() = std::move(handler);
}

bool Application::hasUncaughtExceptionHandler() {
    std::lock_guard<std::mutex> g(handlerLock());
    return static_cast<bool>(handlerSlot());
}

template <class F>
void Application::call(F&& f) {
    try {
        f();
    } catch (...) {
        ExceptionHandler handler;
        {
            std::lock_guard<std::mutex> g(handlerLock());
            handler = handlerSlot();
        }
        if (!handler) throw;
        handler(std::current_exception());
    }
}

void Application::showAlert(Alert alert) {
    Log::warn("alert", "%s: %s (tag %d)", alert.title.c_str(), alert.message.c_str(), alert.tag);
    alerts_.push_back(std::move(alert));
    if (alertShown_) {
        AlertShownHandler handler = alertShown_;
        handler(alerts_.back());
    }
}

bool Application::clickAlertButton(size_t alertIndex, int buttonIndex) {
    if (alertIndex >= alerts_.size()) return false;
    if (buttonIndex < 0 || static_cast<size_t>(buttonIndex) >= alerts_[alertIndex].buttons.size()) return false;
    Alert alert = std::move(alerts_[alertIndex]);
    alerts_.erase(alerts_.begin() + static_cast<std::ptrdiff_t>(alertIndex));
    call([&] { delegate_.alertViewClickedButtonAtIndex(alert, buttonIndex); });
    return true;
}

bool Application::launch(const PropertyList& launchOptions) {
    state_ = State::Inactive;
    bool ok = true;
    call([&] { ok = delegate_.applicationDidFinishLaunching(*this, launchOptions); });
    becomeActive();
    return ok;
}

void Application::resignActive() {
    if (terminated_ || state_ != State::Active) return;
    call([&] { delegate_.applicationWillResignActive(*this); });
    state_ = State::Inactive;
}

void Application::becomeActive() {
    if (terminated_ || state_ == State::Active) return;
    state_ = State::Active;
    call([&] { delegate_.applicationDidBecomeActive(*this); });
}

void Application::enterBackground() {
    if (terminated_ || state_ == State::Background) return;
    resignActive();
    state_ = State::Background;
    call([&] { delegate_.applicationDidEnterBackground(*this); });
}

void Application::enterForeground() {
    if (terminated_ || state_ != State::Background) return;
    state_ = State::Inactive;
    call([&] { delegate_.applicationWillEnterForeground(*this); });
    becomeActive();
}

void Application::terminate() {
    if (terminated_) return;
    terminated_ = true;
    call([&] { delegate_.applicationWillTerminate(*this); });
}

void Application::deliverDeviceToken(const std::vector<uint8_t>& token) {
    call([&] { delegate_.applicationDidRegisterForRemoteNotificationsWithDeviceToken(*this, token); });
}

void Application::deliverRemoteNotification(const PropertyList& userInfo) {
    call([&] { delegate_.applicationDidReceiveRemoteNotification(*this, userInfo); });
}

}  // namespace lumora
