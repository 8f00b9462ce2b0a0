#include "platform/Config.h"
#include "platform/Log.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

namespace lumora {

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool parsePort(const std::string& v, uint16_t& out) {
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < 0 || n > 65535) return false;
    out = static_cast<uint16_t>(n);
    return true;
}

}  // namespace

Config& Config::shared() {
    static Config instance;
    return instance;
}

int Config::scaledMs(int ms) const {
    if (ms <= 0) return ms;
    double v = static_cast<double>(ms) * timeScale;
    return v < 1.0 ? 1 : static_cast<int>(v);
}

bool Config::set(const std::string& key, const std::string& value) {
    for (int i = 0; i < 4; ++i) {
        if (key == "relayHost" + std::to_string(i + 1)) {
            relayHosts[i] = value;
            return true;
        }
    }
    if (key == "relayTcpPort") return parsePort(value, relayTcpPort);
    if (key == "relayUdpPort") return parsePort(value, relayUdpPort);
    if (key == "lanPort") return parsePort(value, lanPort);
    if (key == "lanLocalPort") return parsePort(value, lanLocalPort);
    if (key == "pushHost") { pushHost = value; return true; }
    if (key == "reachabilityHost") { reachabilityHost = value; return true; }
    if (key == "cellularInterfaces") { cellularInterfaces = value; return true; }
    if (key == "externalAddressUrl") { externalAddressUrl = value; return true; }
    if (key == "lanGroup") { lanGroup = value; return true; }
    if (key == "demoDeviceAddress") { demoDeviceAddress = value; return true; }
    if (key == "dataRoot") { dataRoot = value; return true; }
    if (key == "resourceDir") { resourceDir = value; return true; }
    if (key == "audioBackend") {
        if (value != "pulse" && value != "alsa" && value != "null" && !value.empty()) return false;
        audioBackend = value;
        return true;
    }
    if (key == "alsaDevice") { alsaDevice = value; return true; }
    if (key == "timeScale") {
        char* end = nullptr;
        double d = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(d > 0.0)) return false;
        timeScale = d;
        return true;
    }
    return false;
}

bool Config::loadFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        Log::warn("config", "cannot read %s", path.c_str());
        return false;
    }
    std::string line;
    int lineNo = 0;
    bool ok = true;
    while (std::getline(in, line)) {
        ++lineNo;
        auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos || !set(trim(line.substr(0, eq)), trim(line.substr(eq + 1)))) {
            Log::warn("config", "%s:%d: bad line", path.c_str(), lineNo);
            ok = false;
        }
    }
    return ok;
}

bool Config::loadFromEnvironment() {
    bool ok = true;
    if (dataRoot.empty()) {
        if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
            dataRoot = std::string(xdg) + "/lumora";
        else if (const char* home = std::getenv("HOME"); home && *home)
            dataRoot = std::string(home) + "/.local/share/lumora";
    }
    if (resourceDir.empty()) resourceDir = LUMORA_RESOURCE_DIR;
    if (const char* file = std::getenv("LUMORA_CONFIG"); file && *file) ok = loadFile(file);
    if (const char* root = std::getenv("LUMORA_DATA_ROOT"); root && *root) dataRoot = root;
    if (const char* res = std::getenv("LUMORA_RESOURCES"); res && *res) resourceDir = res;
    return ok;
}

}  // namespace lumora
