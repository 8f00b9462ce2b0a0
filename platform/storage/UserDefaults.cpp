#include "platform/storage/UserDefaults.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Config.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/PropertyList.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr mode_t kStoreMode = 0600;

bool makeFolders(const std::string& folder) {
    if (folder.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st{};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
    // Never destroyed: work still winding down at exit may use it.
    static UserDefaults* instance = new UserDefaults([] {
        const std::string& root = Config::shared().dataRoot;
        return root.empty() ? std::string() : root + "/Preferences/UserDefaults.plist";
    }());
    return *instance;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) { load(); }

void UserDefaults::load() {
    if (path_.empty()) return;
    if (int stale = AtomicFile::removeStaleTemporaries(path_))
        Log::info("defaults", "removed %d copies left by interrupted saves of %s", stale, path_.c_str());
    auto result = PropertyList::readFile(path_);
    if (result.status == PropertyList::ReadStatus::Missing) return;
    if (result.status == PropertyList::ReadStatus::Malformed ||
        (result.status == PropertyList::ReadStatus::Ok && !result.value->isDictionary())) {
        // Keep the bytes for recovery; the next write starts a new file.
        const std::string aside = path_ + ".bad";
        if (::rename(path_.c_str(), aside.c_str()) == 0)
            Log::warn("defaults", "%s is malformed; kept as %s, starting empty", path_.c_str(), aside.c_str());
        else
            Log::warn("defaults", "%s is malformed; starting empty", path_.c_str());
        return;
    }
    if (result.status != PropertyList::ReadStatus::Ok || !result.value) {
        Log::warn("defaults", "%s cannot be read; starting empty", path_.c_str());
        return;
    }
    const PropertyList& dict = *result.value;
    for (size_t i = 0; i < dict.keys().size(); ++i) {
        const std::string& key = dict.keys()[i];
        const PropertyList& v = dict.items()[i];
        switch (v.type()) {
            case PropertyList::Type::Boolean: values_[key] = *v.asBoolean(); break;
            case PropertyList::Type::Integer: values_[key] = *v.asInteger(); break;
            case PropertyList::Type::String: values_[key] = *v.asString(); break;
            case PropertyList::Type::Array: {
                std::vector<std::string> list;
                for (const PropertyList& item : v.items())
                    if (auto s = item.asString()) list.push_back(*s);
                values_[key] = std::move(list);
                break;
            }
            default: break;  // kinds this store does not keep
        }
    }
}

bool UserDefaults::save() const {
    if (path_.empty()) return true;
    auto slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path_.substr(0, slash))) {
        Log::warn("defaults", "cannot create the folder of %s", path_.c_str());
        return false;
    }
    PropertyList dict = PropertyList::makeDictionary();
    for (const auto& [key, value] : values_) {
        if (auto* b = std::get_if<bool>(&value)) {
            dict.set(key, PropertyList::makeBoolean(*b));
        } else if (auto* i = std::get_if<int64_t>(&value)) {
            dict.set(key, PropertyList::makeInteger(*i));
        } else if (auto* s = std::get_if<std::string>(&value)) {
            dict.set(key, PropertyList::makeString(*s));
        } else if (auto* list = std::get_if<std::vector<std::string>>(&value)) {
            PropertyList array = PropertyList::makeArray();
            for (const auto& item : *list) array.append(PropertyList::makeString(item));
            dict.set(key, std::move(array));
        }
    }
    Error error;
    if (!dict.writeXmlFile(path_, kStoreMode, &error)) {
        Log::error("defaults", "cannot write %s: %s", path_.c_str(), error.toString().c_str());
        return false;
    }
    return true;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = values_.find(key);
    if (it == values_.end()) return false;
    if (auto* b = std::get_if<bool>(&it->second)) return *b;
    if (auto* i = std::get_if<int64_t>(&it->second)) return *i != 0;
    return false;
}

int64_t UserDefaults::integerForKey(const std::string& key) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = values_.find(key);
    if (it == values_.end()) return 0;
    if (auto* i = std::get_if<int64_t>(&it->second)) return *i;
    if (auto* b = std::get_if<bool>(&it->second)) return *b ? 1 : 0;
    return 0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return std::nullopt;
}

std::vector<std::string> UserDefaults::stringArrayForKey(const std::string& key) const {
    {
        std::lock_guard<std::mutex> g(lock_);
        auto it = values_.find(key);
        if (it != values_.end()) {
            if (auto* list = std::get_if<std::vector<std::string>>(&it->second)) return *list;
            return {};
        }
    }
    if (key == kAppleLanguages) return languagesFromEnvironment();
    return {};
}

bool UserDefaults::hasKey(const std::string& key) const {
    std::lock_guard<std::mutex> g(lock_);
    return values_.count(key) != 0;
}

bool UserDefaults::setValue(const std::string& key, std::optional<Value> value) {
    std::lock_guard<std::mutex> g(lock_);
    if (value)
        values_[key] = std::move(*value);
    else
        values_.erase(key);
    return save();
}

bool UserDefaults::setBool(const std::string& key, bool value) { return setValue(key, Value(value)); }
bool UserDefaults::setInteger(const std::string& key, int64_t value) { return setValue(key, Value(value)); }
bool UserDefaults::setString(const std::string& key, std::string value) {
    return setValue(key, Value(std::move(value)));
}
bool UserDefaults::setStringArray(const std::string& key, std::vector<std::string> value) {
    return setValue(key, Value(std::move(value)));
}
bool UserDefaults::removeObjectForKey(const std::string& key) { return setValue(key, std::nullopt); }

std::string UserDefaults::languageForLocale(const std::string& locale) {
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") return "en";
    std::string language = name.substr(0, name.find_first_of("_-"));
    std::string region = name.size() > language.size() ? name.substr(language.size() + 1) : std::string();
    if (language == "zh") {
        if (region.empty() || region == "CN" || region == "SG" || region == "Hans") return "zh-Hans";
        if (region == "Hant") return "zh-Hant";
        return "zh-" + region;  // zh-TW, zh-HK, ...
    }
    return region.empty() ? language : language + "-" + region;
}

std::vector<std::string> UserDefaults::languagesFromEnvironment() {
    auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? v : "";
    };
    std::string locale = env("LC_ALL");
    if (locale.empty()) locale = env("LC_MESSAGES");
    if (locale.empty()) locale = env("LANG");
    std::vector<std::string> languages;
    std::string base = languageForLocale(locale);
    // LANGUAGE (a priority list) counts only when a real locale is set.
    std::string list = env("LANGUAGE");
    if (!list.empty() && !locale.empty() && locale != "C" && locale != "POSIX") {
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) languages.push_back(languageForLocale(list.substr(start, end - start)));
            start = end + 1;
        }
    }
    if (languages.empty()) languages.push_back(base);
    return languages;
}

}  // namespace lumora
