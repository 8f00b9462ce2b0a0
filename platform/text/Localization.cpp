#include "platform/text/Localization.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/Config.h"

namespace lumora {

namespace {

std::mutex gLock;
bool gLoaded = false;
std::map<std::string, std::string> gTable;

// Reads one quoted text starting at s[i] == '"'; handles \" \\ \n escapes.
bool readQuoted(const std::string& s, size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') return false;
    ++i;
    out.clear();
    while (i < s.size()) {
        char c = s[i++];
        if (c == '"') return true;
        if (c == '\\' && i < s.size()) {
            char e = s[i++];
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else {
            out += c;
        }
    }
    return false;
}

void skipSpace(const std::string& s, size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
}

void load() {
    std::string dir = Config::shared().resourceDir;
    if (dir.empty()) dir = Config::installedResourceDir();
    std::ifstream in(dir + "/en.lproj/Localization.strings");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string s = ss.str();
    size_t i = 0;
    while (i < s.size()) {
        skipSpace(s, i);
        if (i >= s.size()) break;
        if (s.compare(i, 2, "//") == 0) {
            i = s.find('\n', i);
            if (i == std::string::npos) break;
            continue;
        }
        if (s.compare(i, 2, "/*") == 0) {
            i = s.find("*/", i);
            if (i == std::string::npos) break;
            i += 2;
            continue;
        }
        std::string key, value;
        if (!readQuoted(s, i, key)) break;
        skipSpace(s, i);
        if (i >= s.size() || s[i] != '=') break;
        ++i;
        skipSpace(s, i);
        if (!readQuoted(s, i, value)) break;
        skipSpace(s, i);
        if (i < s.size() && s[i] == ';') ++i;
        gTable[key] = value;
    }
    gLoaded = true;
}

}  // namespace

std::string Localization::string(const std::string& key) {
    std::lock_guard<std::mutex> g(gLock);
    if (!gLoaded) load();
    auto it = gTable.find(key);
    return it == gTable.end() ? key : it->second;
}

std::vector<std::string> Localization::texts() {
    std::lock_guard<std::mutex> g(gLock);
    if (!gLoaded) load();
    std::vector<std::string> out;
    out.reserve(gTable.size());
    for (const auto& [key, value] : gTable) out.push_back(value);
    return out;
}

bool Localization::contains(const std::string& key) {
    std::lock_guard<std::mutex> g(gLock);
    if (!gLoaded) load();
    return gTable.count(key) != 0;
}

void Localization::reload() {
    std::lock_guard<std::mutex> g(gLock);
    gTable.clear();
    gLoaded = false;
}

}  // namespace lumora
