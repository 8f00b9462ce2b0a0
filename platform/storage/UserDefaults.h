#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace lumora {

// The application's key-value store for small markers (booleans, integers,
// texts, text lists), kept as an XML property list. The standard store is
// "<dataRoot>/Preferences/UserDefaults.plist". Every change is written at
// once, whole and atomically; a store that cannot be read starts empty.
// Thread-safe.
//
// "AppleLanguages" (the user's preferred languages, first one first) falls
// back to the locale environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) when
// the store has no such key: "zh_CN.UTF-8" gives "zh-Hans", "zh_TW" gives
// "zh-TW", "de_DE" gives "de-DE", "C" or nothing gives "en".
class UserDefaults {
public:
    using Value = std::variant<bool, int64_t, std::string, std::vector<std::string>>;

    static UserDefaults& standardUserDefaults();
    // A store at the given path ("" keeps it in memory only).
    explicit UserDefaults(std::string path);

    // Missing keys (or values of another kind) read as false, 0, nullopt or
    // an empty list. An integer reads as a boolean (non-zero) and back.
    bool boolForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::vector<std::string> stringArrayForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const;

    // Each answers whether the store was written.
    bool setBool(const std::string& key, bool value);
    bool setInteger(const std::string& key, int64_t value);
    bool setString(const std::string& key, std::string value);
    bool setStringArray(const std::string& key, std::vector<std::string> value);
    bool removeObjectForKey(const std::string& key);

    const std::string& path() const { return path_; }

    static constexpr const char* kAppleLanguages = "AppleLanguages";
    // The preferred languages the locale environment names.
    static std::vector<std::string> languagesFromEnvironment();
    // One locale name ("zh_CN.UTF-8", "en_GB@euro") as a language code.
    static std::string languageForLocale(const std::string& locale);

private:
    bool setValue(const std::string& key, std::optional<Value> value);
    void load();
    bool save() const;  // with lock_ held

    std::string path_;
    mutable std::mutex lock_;
    std::map<std::string, Value> values_;
};

}  // namespace lumora
