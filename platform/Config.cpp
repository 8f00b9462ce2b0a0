#include "platform/Config.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/ConfigFile.h"

namespace lumora {

namespace {

bool parsePort(const std::string& key, const std::string& v, uint16_t& out, long lowest, std::string& why) {
    char* end = nullptr;
    errno = 0;
    long n = v.empty() ? 0 : std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || errno != 0 || n < lowest || n > 65535) {
        why = key + " must be a port number from " + std::to_string(lowest) + " to 65535, not \"" + v + "\"";
        return false;
    }
    out = static_cast<uint16_t>(n);
    return true;
}

bool parseText(const std::string& key, const std::string& v, std::string& out, std::string& why) {
    if (v.empty()) {
        why = key + " needs a value";
        return false;
    }
    out = v;
    return true;
}

// A host name or address: no blanks, no control characters.
bool parseHost(const std::string& key, const std::string& v, std::string& out, std::string& why) {
    if (!parseText(key, v, out, why)) return false;
    for (unsigned char c : v) {
        if (c <= 0x20 || c == 0x7F) {
            why = key + " must be a host name without blanks or control characters, not \"" + v + "\"";
            return false;
        }
    }
    return true;
}

// A dotted IPv4 address other than 0.0.0.0 (the LAN search sends to it).
bool parseIPv4(const std::string& key, const std::string& v, std::string& out, std::string& why) {
    in_addr a{};
    if (::inet_pton(AF_INET, v.c_str(), &a) != 1 || a.s_addr == 0) {
        why = key + " must be an IPv4 address such as 235.10.10.10, not \"" + v + "\"";
        return false;
    }
    out = v;
    return true;
}

// A folder that exists (the strings table and the art are read from it).
bool parseFolder(const std::string& key, const std::string& v, std::string& out, std::string& why) {
    if (!parseText(key, v, out, why)) return false;
    struct stat st{};
    if (::stat(v.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        why = key + " must name an existing folder, not \"" + v + "\"";
        return false;
    }
    return true;
}

}  // namespace

Config& Config::shared() {
    // Never destroyed: work still running on other queues while the process
    // exits (a status search, a link's time-out) may read it to the end.
    static Config& instance = *new Config;
    return instance;
}

namespace {

// "share/lumora" in the program's folder and up to three folders above it.
std::vector<std::filesystem::path> resourceCandidates() {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return out;
    std::filesystem::path dir = exe.parent_path();
    for (int up = 0; up < 4 && !dir.empty(); ++up) {
        out.push_back(dir / "share" / "lumora");
        if (dir == dir.parent_path()) break;
        dir = dir.parent_path();
    }
    return out;
}

}  // namespace

std::string Config::installedResourceDir() {
    static const std::string found = [] {
        std::error_code ec;
        for (const auto& candidate : resourceCandidates())
            if (std::filesystem::exists(candidate / "en.lproj" / "Localization.strings", ec)) return candidate.string();
        return std::string();
    }();
    return found;
}

std::string Config::missingResource(const std::string& name) const {
    std::string searched;
    if (!resourceDir.empty()) searched = resourceDir + " (LUMORA_RESOURCES)";
    for (const auto& candidate : resourceCandidates()) searched += (searched.empty() ? "" : ", ") + candidate.string();
    return "cannot find " + name + " in " + (searched.empty() ? std::string("any resource folder") : searched) +
           "; set LUMORA_RESOURCES to the folder that holds it (share/lumora of an installation)";
}

int Config::scaledMs(int ms) const {
    if (ms <= 0) return ms;
    double v = static_cast<double>(ms) * timeScale;
    if (v < 1.0) return 1;
    // A long time-out at a large scale stays the longest one we can express.
    if (v >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

bool Config::set(const std::string& key, const std::string& value, std::string* problem) {
    std::string why;
    bool ok = apply(key, value, why);
    if (!ok && problem) *problem = why;
    return ok;
}

bool Config::apply(const std::string& key, const std::string& value, std::string& why) {
    for (int i = 0; i < 4; ++i) {
        if (key == "relayHost" + std::to_string(i + 1)) return parseHost(key, value, relayHosts[i], why);
    }
    if (key == "relayTcpPort") return parsePort(key, value, relayTcpPort, 1, why);
    if (key == "relayUdpPort") return parsePort(key, value, relayUdpPort, 1, why);
    if (key == "lanPort") return parsePort(key, value, lanPort, 1, why);
    // 0: a port the system picks.
    if (key == "lanLocalPort") return parsePort(key, value, lanLocalPort, 0, why);
    if (key == "pushHost") return parseHost(key, value, pushHost, why);
    if (key == "pushAlarmUidHost") return parseHost(key, value, pushAlarmUidHost, why);
    if (key == "pushAlarmAddressHost") return parseHost(key, value, pushAlarmAddressHost, why);
    if (key == "reachabilityHost") return parseHost(key, value, reachabilityHost, why);
    if (key == "cellularInterfaces") { cellularInterfaces = value; return true; }
    if (key == "externalAddressUrl") return parseText(key, value, externalAddressUrl, why);
    if (key == "lanGroup") return parseIPv4(key, value, lanGroup, why);
    if (key == "webSite") return parseText(key, value, webSite, why);
    if (key == "productName") return parseText(key, value, productName, why);
    if (key == "storeUrl") return parseText(key, value, storeUrl, why);
    if (key == "demoDeviceAddress") return parseHost(key, value, demoDeviceAddress, why);
    if (key == "dataRoot") return parseText(key, value, dataRoot, why);
    if (key == "resourceDir") return parseFolder(key, value, resourceDir, why);
    if (key == "audioBackend") {
        if (value != "pulse" && value != "alsa" && value != "null" && !value.empty()) {
            why = "audioBackend must be pulse, alsa or null, not \"" + value + "\"";
            return false;
        }
        audioBackend = value;
        return true;
    }
    if (key == "alsaDevice") return parseText(key, value, alsaDevice, why);
    if (key == "webPageTimeout") {
        char* end = nullptr;
        double d = value.empty() ? 0.0 : std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(d) || d < 0 || d > kMaxWebPageTimeout) {
            std::ostringstream o;
            o << "webPageTimeout must be a number of seconds from 0 to " << kMaxWebPageTimeout << ", not \"" << value
              << "\"";
            why = o.str();
            return false;
        }
        webPageTimeout = d;
        return true;
    }
    if (key == "timeScale") {
        char* end = nullptr;
        double d = value.empty() ? 0.0 : std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(d) || d < kMinTimeScale || d > kMaxTimeScale) {
            std::ostringstream o;
            o << "timeScale must be a number from " << kMinTimeScale << " to " << kMaxTimeScale << ", not \"" << value
              << "\"";
            why = o.str();
            return false;
        }
        timeScale = d;
        return true;
    }
    why = "unknown key \"" + key + "\"";
    return false;
}

bool Config::loadFile(const std::string& path) {
    std::vector<std::string> problems = ConfigFile::load(path, *this);
    for (const auto& p : problems) std::fprintf(stderr, "lumora: configuration: %s\n", p.c_str());
    return problems.empty();
}

bool Config::loadFromEnvironment() {
    bool ok = true;
    if (dataRoot.empty()) {
        if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
            dataRoot = std::string(xdg) + "/lumora";
        else if (const char* home = std::getenv("HOME"); home && *home)
            dataRoot = std::string(home) + "/.local/share/lumora";
    }
    if (resourceDir.empty()) resourceDir = installedResourceDir();
    if (const char* file = std::getenv("LUMORA_CONFIG"); file && *file) ok = loadFile(file);
    if (const char* root = std::getenv("LUMORA_DATA_ROOT"); root && *root) dataRoot = root;
    if (const char* res = std::getenv("LUMORA_RESOURCES"); res && *res) resourceDir = res;
    return ok;
}

}  // namespace lumora
