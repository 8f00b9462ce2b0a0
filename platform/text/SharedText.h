#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace lumora {

// A text field that several queues read and write: a value that may be
// absent (which is not the same as empty), guarded by its own lock. Reads
// return copies, so no reader ever sees a text while it is being replaced.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::optional<std::string> v) : value_(std::move(v)) {}  // NOLINT: implicit on purpose
    SharedText(const char* v) : value_(std::string(v)) {}                // NOLINT
    SharedText(const SharedText& o) : value_(o.get()) {}
    SharedText& operator=(const SharedText& o) {
        if (this != &o) set(o.get());
        return *this;
    }
    SharedText& operator=(std::optional<std::string> v) {
        set(std::move(v));
        return *this;
    }
    SharedText& operator=(const char* v) {
        set(std::string(v));
        return *this;
    }

    std::optional<std::string> get() const {
        std::lock_guard<std::mutex> g(lock_);
        return value_;
    }
    // The text, or "" when absent.
    std::string value() const {
        std::lock_guard<std::mutex> g(lock_);
        return value_.value_or(std::string());
    }
    bool isAbsent() const {
        std::lock_guard<std::mutex> g(lock_);
        return !value_.has_value();
    }
    void set(std::optional<std::string> v) {
        std::lock_guard<std::mutex> g(lock_);
        value_ = std::move(v);
    }
    bool operator==(const std::optional<std::string>& o) const { return get() == o; }

private:
    mutable std::mutex lock_;
    std::optional<std::string> value_;
};

}  // namespace lumora
