#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumora {

struct Config;

// Reads a configuration file into a Config. The format is "key = value" per
// line; a line whose first non-blank character is '#' or ';' is a comment,
// blank lines are ignored. Everything after the first '=' is the value, with
// the blanks around it removed: a '#' inside a value is part of the value.
//
// Every problem is reported as "FILE:LINE: problem" (or "FILE: problem" for
// the file as a whole): unknown keys, values that are not sane for their key,
// lines that are not "key = value", keys given twice, sections, lines too
// long to be meant. A file with any problem changes nothing in the Config.
class ConfigFile {
public:
    // Longest line accepted, in bytes (without the line end).
    static constexpr size_t kMaxLine = 4096;
    // Largest file accepted, in bytes.
    static constexpr size_t kMaxSize = 1 << 20;

    // Answers the problems found; empty when the file was read and applied.
    static std::vector<std::string> load(const std::string& path, Config& into);
    // The same over text already in memory; `name` stands for the file in
    // the messages.
    static std::vector<std::string> parse(std::string_view text, const std::string& name, Config& into);
};

}  // namespace lumora
