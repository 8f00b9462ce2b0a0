#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace lumora {

// The general pasteboard: one text the user can paste elsewhere (the
// Wi-Fi password of a scanned code). By itself it keeps the text in memory;
// a GUI front end installs a backend that puts it on the system clipboard.
//
// Thread-safe.
class Pasteboard {
public:
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual void setString(const std::string& text) = 0;
        virtual std::string string() const = 0;
    };

    static Pasteboard& generalPasteboard();

    void setString(const std::string& text);
    std::string string() const;

    // Null goes back to the in-memory text (which then holds what the
    // backend had).
    void setBackend(std::shared_ptr<Backend> backend);

private:
    mutable std::mutex lock_;
    std::string text_;
    std::shared_ptr<Backend> backend_;
};

}  // namespace lumora
