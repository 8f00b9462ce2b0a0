#include "ui/art/ArtManifest.h"

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

namespace lumora {

namespace {

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-';
        if (!ok) return false;
    }
    return true;
}

bool validColour(const std::string& c) {
    if (c == "-") return true;
    if ((c.size() != 7 && c.size() != 9) || c[0] != '#') return false;
    for (size_t i = 1; i < c.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(c[i]))) return false;
    }
    return true;
}

bool readSize(const std::string& s, int& out) {
    if (s.empty() || s.size() > 4) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 2048) return false;
    out = v;
    return true;
}

}  // namespace

bool ArtManifest::parse(const std::string& text, std::vector<ArtEntry>& entries, std::string& error) {
    static const std::set<std::string> kBackgrounds = {"clear", "round", "pill", "circle",
                                                       "bar",   "tile",  "cell", "page"};
    entries.clear();
    std::set<std::string> seen;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream fields(line);
        ArtEntry e;
        std::string w, h, glyph;
        if (!(fields >> e.name) || e.name[0] == '#') continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            entries.clear();
            return false;
        };
        if (!(fields >> w >> h >> e.background >> e.colour >> glyph >> e.ink)) return fail("too few columns");
        if (!validName(e.name)) return fail("bad name \"" + e.name + "\"");
        if (!seen.insert(e.name).second) return fail("repeated name \"" + e.name + "\"");
        if (!readSize(w, e.width) || !readSize(h, e.height)) return fail("bad size");
        if (!kBackgrounds.count(e.background)) return fail("unknown background \"" + e.background + "\"");
        if (!validColour(e.colour) || !validColour(e.ink) || e.ink == "-") return fail("bad colour");
        if ((e.background == "clear") != (e.colour == "-")) return fail("a clear background takes the colour \"-\"");
        const size_t slash = glyph.find('/');
        e.glyph = glyph.substr(0, slash);
        e.place = slash == std::string::npos ? "c" : glyph.substr(slash + 1);
        if (e.glyph.empty() || (e.place != "c" && e.place != "t")) return fail("bad glyph \"" + glyph + "\"");
        std::getline(fields >> std::ws, e.label);
        while (!e.label.empty() && (e.label.back() == ' ' || e.label.back() == '\r')) e.label.pop_back();
        e.line = number;
        entries.push_back(std::move(e));
    }
    return true;
}

bool ArtManifest::load(const std::string& path, std::vector<ArtEntry>& entries, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return parse(ss.str(), entries, error);
}

}  // namespace lumora
