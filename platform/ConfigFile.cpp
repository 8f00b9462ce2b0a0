#include "platform/ConfigFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/Config.h"

namespace lumora {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// One pass over the text: every line is checked and applied to a staged
// copy, so that a file with any problem changes nothing.
//
// (A packaged INI reader was tried; its inline ';' comments and its
// continuation lines would silently change values, which is the fault this
// reader exists to avoid, so the few lines of splitting are done here.)
struct Walk {
    std::string name;
    int line = 0;
    std::vector<std::string> problems;
    Config staged;
    std::set<std::string> seen;

    void problem(const std::string& what) { problems.push_back(name + ":" + std::to_string(line) + ": " + what); }

    void take(std::string_view raw) {
        if (raw.size() > ConfigFile::kMaxLine) {
            problem("line longer than " + std::to_string(ConfigFile::kMaxLine) + " bytes");
            return;
        }
        if (raw.find('\0') != std::string_view::npos) {
            problem("line holds a NUL byte");
            return;
        }
        std::string_view s = trim(raw);
        if (line == 1 && s.substr(0, 3) == "\xEF\xBB\xBF") s = trim(s.substr(3));
        if (s.empty() || s.front() == '#' || s.front() == ';') return;
        if (s.front() == '[') {
            problem("sections are not used in this file");
            return;
        }
        size_t eq = s.find('=');
        if (eq == std::string_view::npos) {
            problem("expected \"key = value\"");
            return;
        }
        std::string key(trim(s.substr(0, eq)));
        std::string value(trim(s.substr(eq + 1)));
        if (key.empty()) {
            problem("no key before \"=\"");
            return;
        }
        if (!seen.insert(key).second) {
            problem("\"" + key + "\" is given a second time");
            return;
        }
        std::string why;
        if (!staged.set(key, value, &why)) problem(why);
    }
};

}  // namespace

std::vector<std::string> ConfigFile::parse(std::string_view text, const std::string& name, Config& into) {
    Walk walk;
    walk.name = name;
    walk.staged = into;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        ++walk.line;
        walk.take(text.substr(at, end - at));
        at = end + 1;
    }
    if (walk.problems.empty()) into = walk.staged;
    return walk.problems;
}

std::vector<std::string> ConfigFile::load(const std::string& path, Config& into) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return {path + ": cannot be read: " + std::strerror(errno)};
    if (S_ISDIR(st.st_mode)) return {path + ": is a folder, not a configuration file"};
    if (!S_ISREG(st.st_mode)) return {path + ": is not a regular file"};
    if (static_cast<size_t>(st.st_size) > kMaxSize)
        return {path + ": larger than " + std::to_string(kMaxSize) + " bytes; not a configuration file"};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {path + ": cannot be read: " + std::strerror(errno)};
    std::ostringstream body;
    body << in.rdbuf();
    if (in.bad()) return {path + ": cannot be read"};
    return parse(body.str(), path, into);
}

}  // namespace lumora
