#pragma once

// One fuzz iteration for the configuration file reader, shared by the
// libFuzzer target (config_file_fuzz.cpp) and the deterministic mutation test
// of the normal and sanitizer builds. The input is the text of a file. What
// must hold for any text: every problem names the file; a text with problems
// changes nothing; a text without problems leaves only sane values behind
// (time scale finite and in range, so scaled waits neither overflow nor
// vanish).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Config.h"
#include "platform/ConfigFile.h"

namespace lumora::fuzz {

inline int fuzzConfigFile(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const Config before;
    Config cfg;
    auto problems = ConfigFile::parse(text, "f.conf", cfg);
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    if (problems.size() > lines) __builtin_trap();
    for (const auto& p : problems) {
        if (p.rfind("f.conf:", 0) != 0) __builtin_trap();
    }
    if (!problems.empty()) {
        // Nothing applied.
        if (cfg.timeScale != before.timeScale || cfg.relayHosts != before.relayHosts ||
            cfg.relayTcpPort != before.relayTcpPort || cfg.pushHost != before.pushHost ||
            cfg.dataRoot != before.dataRoot)
            __builtin_trap();
        return 0;
    }
    if (!std::isfinite(cfg.timeScale) || cfg.timeScale < Config::kMinTimeScale || cfg.timeScale > Config::kMaxTimeScale)
        __builtin_trap();
    int longest = cfg.scaledMs(24 * 3600 * 1000);
    if (longest < 1) __builtin_trap();
    if (cfg.scaledMs(1) != 1 && cfg.scaledMs(1) > 100) __builtin_trap();
    return 0;
}

}  // namespace lumora::fuzz
