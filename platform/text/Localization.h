#pragma once

#include <string>
#include <vector>

namespace lumora {

// The strings table "Localization": user-visible texts by key. The English
// table ships as resources/en.lproj/Localization.strings (lines
// "KEY" = "text";). An unknown key answers the key itself.
class Localization {
public:
    static std::string string(const std::string& key);
    // Whether the table has an entry for the key (its text may equal the key).
    static bool contains(const std::string& key);
    // Every text of the table (its values), for checks over what screens show.
    static std::vector<std::string> texts();
    // Drops the loaded table so the next lookup reads it again (tests that
    // point Config::resourceDir elsewhere).
    static void reload();
};

}  // namespace lumora
