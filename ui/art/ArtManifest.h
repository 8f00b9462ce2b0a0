#pragma once

#include <string>
#include <vector>

namespace lumora {

// One picture of the application's art, as the manifest describes it.
struct ArtEntry {
    std::string name;        // file name without ".png"
    int width = 0;           // size in points
    int height = 0;
    std::string background;  // clear, round, pill, circle, bar, tile, cell, page
    std::string colour;      // background colour, "#RRGGBB", "#AARRGGBB" or "-"
    std::string glyph;       // picture drawn over the background, "none" for nothing
    std::string place;       // "c" centred, "t" in the top half
    std::string ink;         // glyph and label colour
    std::string label;       // optional text
    int line = 0;            // line number in the manifest
};

// The art manifest: one entry per line, "#" starts a comment line.
class ArtManifest {
public:
    // Parses the text of a manifest. Returns false and fills error (with the
    // line number) on a malformed line, a bad size or a repeated name.
    static bool parse(const std::string& text, std::vector<ArtEntry>& entries, std::string& error);
    // Reads and parses a manifest file.
    static bool load(const std::string& path, std::vector<ArtEntry>& entries, std::string& error);
};

}  // namespace lumora
