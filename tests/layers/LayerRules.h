#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace lumora::test {

// The include rules of docs/layers.txt and their check on a source tree.
//
// A rule file has four kinds of lines (and # comments):
//   layer NAME FOLDER... : ALLOWED...
//     the folders (relative to the tree's root) that make up the layer, and
//     what its files may include besides their own layer: layers named
//     before it, folders of such layers, "Qt" for Qt's headers (<Q...>), or
//     "*" for anything; "-" for nothing else.
//   apart FOLDER : REASON
//     a layer's folder that lies inside another layer's folder.
//   allow FILE -> FILE-OR-FOLDER : REASON
//     one include across the rules, with its reason.
// A file belongs to the layer of its nearest named folder.
//
// The check reads every source and header (.h .hpp .c .cc .cpp) under the
// root but hidden folders and build trees (folders with a CMakeCache.txt):
// every `#include "..."` (found beside the file first, then under the root,
// as the compiler looks) and every `#include <Q...>`.
class LayerRules {
public:
    // One broken rule: where ("file:line", or the file) and what.
    struct Finding {
        std::string where;
        std::string what;
    };

    // Reads the rules; false with `error` ("line N: ...") when they do not
    // parse or contradict themselves.
    bool parse(const std::string& text, std::string& error);
    bool load(const std::filesystem::path& file, std::string& error);

    // The includes under `root` that break the rules, and the source files
    // in no layer, in file order.
    std::vector<Finding> check(const std::filesystem::path& root) const;
    // The `allow` lines no include under `root` needs any more.
    std::vector<Finding> unusedExceptions(const std::filesystem::path& root) const;

    // Each finding on a line of its own.
    static std::string describe(const std::vector<Finding>& findings);

private:
    struct Layer {
        std::string name;
        std::vector<std::string> folders;
        std::set<std::string> layers;   // may include these layers
        std::vector<std::string> paths;  // and these folders
        bool qt = false;
        bool anything = false;
    };
    struct Exception {
        std::string from;
        std::string to;
        int line = 0;
    };
    struct Include {
        int line = 0;
        std::string target;  // as written
        bool qt = false;     // <Q...>
    };

    const Layer* layerOf(const std::string& path) const;
    bool allowed(const Layer& from, const std::string& file, const std::string& target, int* exception) const;
    // Every include of every source under `root`, by file (root-relative).
    std::map<std::string, std::vector<Include>> scan(const std::filesystem::path& root) const;
    // The check itself; `used` collects the exceptions that were needed.
    std::vector<Finding> run(const std::filesystem::path& root, std::set<int>* used) const;

    std::vector<Layer> layers_;
    std::vector<Exception> exceptions_;
};

}  // namespace lumora::test
