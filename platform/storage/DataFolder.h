#pragma once

#include <string>

namespace lumora {

// The application's data folder (Config::dataRoot): made when missing, private
// to the user (0700) when made, and checked to take new files before
// anything is read from it, so that a folder that cannot be used stops the
// program with its name instead of letting it run on with an empty device
// list and nothing saved.
class DataFolder {
public:
    // Answers true when `path` is a folder that takes new files (made with
    // mode 0700 when missing); else false with the reason in `problem`,
    // which names the folder.
    static bool prepare(const std::string& path, std::string& problem);
};

}  // namespace lumora
