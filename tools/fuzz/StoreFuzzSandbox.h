#pragma once

// A data root of its own for the store fuzz targets: a fresh temporary
// folder, made once per process and set as the configuration's data root,
// removed when the process ends.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Config.h"

namespace lumora::fuzz {

class StoreFuzzSandbox {
public:
    static StoreFuzzSandbox& shared() {
        static StoreFuzzSandbox sandbox;
        return sandbox;
    }
    const std::string& root() const { return root_; }

    static void write(const std::string& path, const uint8_t* data, size_t size) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                       static_cast<std::streamsize>(size));
    }
    // Empties the data root between inputs.
    void clear() const {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(root_, ec)) std::filesystem::remove_all(e.path(), ec);
    }

private:
    StoreFuzzSandbox() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-fuzz-XXXXXX";
        if (char* made = ::mkdtemp(pattern.data())) root_ = made;
        Config::shared().dataRoot = root_;
    }
    ~StoreFuzzSandbox() {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    std::string root_;
};

}  // namespace lumora::fuzz
