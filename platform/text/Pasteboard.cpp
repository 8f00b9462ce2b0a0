#include "platform/text/Pasteboard.h"

namespace lumora {

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard* general = new Pasteboard;  // lives as long as the process
    return *general;
}

void Pasteboard::setString(const std::string& text) {
    std::shared_ptr<Backend> backend;
    {
        std::lock_guard<std::mutex> g(lock_);
        text_ = text;
        backend = backend_;
    }
    if (backend) backend->setString(text);
}

std::string Pasteboard::string() const {
    std::shared_ptr<Backend> backend;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!backend_) return text_;
        backend = backend_;
    }
    return backend->string();
}

void Pasteboard::setBackend(std::shared_ptr<Backend> backend) {
    std::shared_ptr<Backend> old;
    {
        std::lock_guard<std::mutex> g(lock_);
        old = std::move(backend_);
        backend_ = std::move(backend);
    }
    if (old && !backend_) {
        const std::string kept = old->string();
        std::lock_guard<std::mutex> g(lock_);
        text_ = kept;
    }
}

}  // namespace lumora
