#pragma once

#include <string>

namespace lumora {

// Where the application's pictures live. They are drawn at build time into
// <build>/resources/images; an installed copy sits in <resources>/images.
// Both hold NAME.png and NAME@2x.png for every picture.
class ArtResources {
public:
    // "<Config::resourceDir>/images" when that folder exists, else the build
    // tree's images folder.
    static std::string imagesDirectory();

    // The file to load for a picture name as the screens write it ("check.png",
    // "check", "photoseg"): at a scale of 2 or more the "@2x" file when there
    // is one, else the 1x file. Empty when there is no such picture or the
    // name is not a plain file name (a path, "..", empty).
    static std::string imagePath(const std::string& name, int scale);
};

}  // namespace lumora
