#include "platform/AlertPresenter.h"
#include "platform/Log.h"

#include <cstdio>
#include <mutex>

namespace lumora {

namespace {

class LoggingAlertPresenter : public AlertPresenter {
public:
    void present(const std::string& title, const std::string& message, const std::string& buttonTitle) override {
        Log::warn("alert", "%s: %s [%s]", title.c_str(), message.c_str(), buttonTitle.c_str());
    }
};

std::mutex gLock;

std::shared_ptr<AlertPresenter>& slot() {
    static std::shared_ptr<AlertPresenter> presenter = std::make_shared<LoggingAlertPresenter>();
    return presenter;
}

}  // namespace

void AlertPresenter::install(std::shared_ptr<AlertPresenter> presenter) {
    if (!presenter) presenter = std::make_shared<LoggingAlertPresenter>();
    std::lock_guard<std::mutex> g(gLock);
    slot() = std::move(presenter);
}

std::shared_ptr<AlertPresenter> AlertPresenter::current() {
    std::lock_guard<std::mutex> g(gLock);
    return slot();
}

void AlertPresenter::show(const std::string& title, const std::string& message, const std::string& buttonTitle) {
    current()->present(title, message, buttonTitle);
}

}  // namespace lumora
