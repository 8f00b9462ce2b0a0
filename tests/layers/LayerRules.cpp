#include "layers/LayerRules.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>

namespace lumora::test {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// "ui/kit/" -> "ui/kit"
std::string folder(std::string f) {
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    return f;
}

// Whether `path` is `dir` or lies under it.
bool within(const std::string& path, const std::string& dir) {
    return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/');
}

bool isSource(const fs::path& p) {
    static const std::set<std::string> kinds{".h", ".hpp", ".c", ".cc", ".cpp"};
    return kinds.count(p.extension().string()) != 0;
}

}  // namespace

bool LayerRules::load(const fs::path& file, std::string& error) {
    std::ifstream in(file);
    if (!in) {
        error = "cannot read " + file.string();
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str(), error);
}

bool LayerRules::parse(const std::string& text, std::string& error) {
    layers_.clear();
    exceptions_.clear();
    std::set<std::string> apart;
    std::istringstream in(text);
    int number = 0;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    auto findLayer = [&](const std::string& name) -> const Layer* {
        for (const Layer& l : layers_)
            if (l.name == name) return &l;
        return nullptr;
    };
    for (std::string raw; std::getline(in, raw);) {
        ++number;
        const std::string line = trimmed(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        const std::vector<std::string> head = words(line.substr(0, colon));
        const std::string tail = colon == std::string::npos ? "" : trimmed(line.substr(colon + 1));
        if (colon == std::string::npos) return fail("no ':' in \"" + line + "\"");
        if (head.empty()) return fail("a line starts with its kind");
        if (head[0] == "layer") {
            if (head.size() < 3) return fail("a layer needs a name and at least one folder");
            if (findLayer(head[1])) return fail("layer " + head[1] + " is named twice");
            Layer layer;
            layer.name = head[1];
            for (size_t i = 2; i < head.size(); ++i) layer.folders.push_back(folder(head[i]));
            const std::vector<std::string> allowed = words(tail);
            if (allowed.empty()) return fail("layer " + layer.name + " says nothing after ':' (\"-\" for nothing)");
            for (const std::string& a : allowed) {
                if (a == "-") continue;
                if (a == "*") {
                    layer.anything = true;
                } else if (a == "Qt") {
                    layer.qt = true;
                } else if (a.find('/') != std::string::npos) {
                    // A folder: of a layer named before this one.
                    const std::string f = folder(a);
                    const Layer* owner = nullptr;
                    size_t best = 0;
                    for (const Layer& l : layers_)
                        for (const std::string& lf : l.folders)
                            if (within(f, lf) && lf.size() >= best) owner = &l, best = lf.size();
                    if (!owner) return fail(layer.name + " may include " + a + ", a folder of no layer named before it");
                    layer.paths.push_back(f);
                } else {
                    if (!findLayer(a))
                        return fail(layer.name + " may include " + a + ", which is no layer named before it");
                    layer.layers.insert(a);
                }
            }
            layers_.push_back(layer);
        } else if (head[0] == "apart") {
            if (head.size() != 2 || tail.empty()) return fail("apart FOLDER : REASON");
            apart.insert(folder(head[1]));
        } else if (head[0] == "allow") {
            if (head.size() != 4 || head[2] != "->" || tail.empty()) return fail("allow FILE -> FILE-OR-FOLDER : REASON");
            exceptions_.push_back({head[1], folder(head[3]), number});
        } else {
            return fail("unknown kind of line \"" + head[0] + "\"");
        }
    }
    if (layers_.empty()) {
        error = "no layers";
        return false;
    }
    // A folder inside another layer's folder says why it is apart.
    for (const Layer& a : layers_)
        for (const std::string& fa : a.folders)
            for (const Layer& b : layers_)
                for (const std::string& fb : b.folders) {
                    if (&a == &b && fa == fb) continue;
                    if (fa == fb) {
                        error = "folder " + fa + " is in two layers";
                        return false;
                    }
                    if (within(fa, fb) && &a != &b && !apart.count(fa)) {
                        error = "folder " + fa + " (layer " + a.name + ") lies inside " + fb + " (layer " + b.name +
                                ") without an apart line";
                        return false;
                    }
                }
    for (const std::string& f : apart) {
        bool nested = false;
        for (const Layer& a : layers_)
            for (const std::string& fa : a.folders) nested = nested || fa == f;
        if (!nested) {
            error = "apart " + f + ": no layer has that folder";
            return false;
        }
    }
    return true;
}

const LayerRules::Layer* LayerRules::layerOf(const std::string& path) const {
    const Layer* best = nullptr;
    size_t length = 0;
    for (const Layer& l : layers_)
        for (const std::string& f : l.folders)
            if (within(path, f) && f.size() >= length) best = &l, length = f.size();
    return best;
}

bool LayerRules::allowed(const Layer& from, const std::string& file, const std::string& target, int* exception) const {
    const Layer* to = layerOf(target);
    if (from.anything || to == &from) return true;
    if (to && from.layers.count(to->name)) return true;
    for (const std::string& p : from.paths)
        if (within(target, p)) return true;
    for (size_t i = 0; i < exceptions_.size(); ++i) {
        if (exceptions_[i].from == file && within(target, exceptions_[i].to)) {
            *exception = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

std::map<std::string, std::vector<LayerRules::Include>> LayerRules::scan(const fs::path& root) const {
    static const std::regex quoted(R"(^\s*#\s*include\s*"([^"]+)\")");
    static const std::regex angled(R"(^\s*#\s*include\s*<([^>]+)>)");
    std::map<std::string, std::vector<Include>> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::path& p = it->path();
        if (it->is_directory()) {
            if (p.filename().string().starts_with(".") || fs::exists(p / "CMakeCache.txt")) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file() || !isSource(p)) continue;
        const std::string rel = p.lexically_relative(root).generic_string();
        std::vector<Include>& includes = files[rel];
        std::ifstream in(p);
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            std::smatch m;
            if (std::regex_search(line, m, quoted)) {
                includes.push_back({number, m[1].str(), false});
            } else if (std::regex_search(line, m, angled)) {
                const std::string name = m[1].str();
                if (name.size() > 1 && name[0] == 'Q' && std::isalpha(static_cast<unsigned char>(name[1])))
                    includes.push_back({number, name, true});
            }
        }
    }
    return files;
}

std::vector<LayerRules::Finding> LayerRules::run(const fs::path& root, std::set<int>* used) const {
    std::vector<Finding> findings;
    for (const auto& [file, includes] : scan(root)) {
        const Layer* layer = layerOf(file);
        if (!layer) {
            findings.push_back({file, "in no layer: add its folder to a layer"});
            continue;
        }
        if (layer->anything) continue;
        const std::string dir = fs::path(file).parent_path().generic_string();
        for (const Include& inc : includes) {
            const std::string where = file + ":" + std::to_string(inc.line);
            if (inc.qt) {
                if (!layer->qt)
                    findings.push_back({where, "includes <" + inc.target + ">: layer " + layer->name + " includes no Qt"});
                continue;
            }
            // Beside the file first, then from the root, as the compiler looks.
            std::string target;
            const std::string beside = (fs::path(dir) / inc.target).lexically_normal().generic_string();
            if (fs::exists(root / beside)) target = beside;
            else if (fs::exists(root / inc.target)) target = fs::path(inc.target).lexically_normal().generic_string();
            if (target.empty()) {
                findings.push_back({where, "includes \"" + inc.target + "\", which is not in the tree"});
                continue;
            }
            int exception = -1;
            if (!allowed(*layer, file, target, &exception)) {
                const Layer* to = layerOf(target);
                findings.push_back({where, "includes \"" + inc.target + "\": layer " + layer->name +
                                               " may not include " + (to ? "layer " + to->name : "a file in no layer")});
            } else if (exception >= 0 && used) {
                used->insert(exception);
            }
        }
    }
    return findings;
}

std::vector<LayerRules::Finding> LayerRules::check(const fs::path& root) const { return run(root, nullptr); }

std::vector<LayerRules::Finding> LayerRules::unusedExceptions(const fs::path& root) const {
    std::set<int> used;
    run(root, &used);
    std::vector<Finding> findings;
    for (size_t i = 0; i < exceptions_.size(); ++i) {
        if (used.count(static_cast<int>(i))) continue;
        findings.push_back({"rule line " + std::to_string(exceptions_[i].line),
                            "allow " + exceptions_[i].from + " -> " + exceptions_[i].to + " is needed by no include"});
    }
    return findings;
}

std::string LayerRules::describe(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings) text += f.where + ": " + f.what + "\n";
    return text;
}

}  // namespace lumora::test
