#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace lumora {

// Everything a deployment sets, in one place. The process entry loads it once
// (loadFromEnvironment) before anything else runs; tests set fields directly
// (loopback hosts, a temporary data root, a small timeScale) before they start
// the code under test. Not meant to be changed while the system runs.
struct Config {
    // The four relay/look-up servers, server 1 first.
    std::array<std::string, 4> relayHosts{"hub1.lumora.invalid", "hub2.lumora.invalid",
                                          "hub3.lumora.invalid", "hub4.lumora.invalid"};
    uint16_t relayTcpPort = 28622;
    uint16_t relayUdpPort = 28678;

    // Push-registration web service: requests go to http://<pushHost>/<path>.
    std::string pushHost = "push.lumora.invalid";
    // Hosts of the per-device alarm registration ("pd.php"): one for devices
    // reached by UID, one for devices reached by address.
    std::string pushAlarmUidHost = "alarm.lumora.invalid";
    std::string pushAlarmAddressHost = "alarm2.lumora.invalid";
    // Public web host watched for reachability.
    std::string reachabilityHost = "www.lumora.invalid";
    // Network interfaces that count as cellular for reachability: shell
    // patterns separated by commas.
    std::string cellularInterfaces = "wwan*,ppp*,rmnet*";
    // Public page that shows the caller's external address between "[" and "]".
    std::string externalAddressUrl = "http://ip.lumora.invalid/";

    // The maker's web site: the help pages ("help.html", "ipadhelp.html") and
    // the feedback page ("send.php") are found under it; ends with "/".
    std::string webSite = "http://www.lumora.invalid/";
    // Product name sent with the feedback page (query field N).
    std::string productName = "lumora";
    // Seconds a web page may take to load before the web view gives up and
    // offers the desktop's browser instead (0: no limit of its own).
    double webPageTimeout = 30;
    static constexpr double kMaxWebPageTimeout = 3600;
    // The product's page in the application store, opened by the rating button.
    std::string storeUrl = "https://apps.lumora.invalid/app/lumora";

    // Address of the public demonstration recorder (the "Demo" device).
    std::string demoDeviceAddress = "demo.lumora.invalid";

    // LAN device search.
    std::string lanGroup = "235.10.10.10";
    uint16_t lanPort = 1500;
    uint16_t lanLocalPort = 23456;

    // Root of the application's data (device list, preferences, media
    // folders). Empty means "not set": stores then refuse to work.
    std::string dataRoot;
    // Folder of shipped resources (strings tables, shader files).
    std::string resourceDir;

    // Multiplies every protocol time-out, interval and retry wait (1.0 in a
    // deployment). Tests shrink it instead of sleeping. A configuration file
    // may not go below kMinTimeScale: there a live view over UDT still logs
    // in and shows pictures on two loaded cores, while at 0.005 some views
    // already end without a login reply.
    double timeScale = 1.0;
    static constexpr double kMinTimeScale = 0.01;
    static constexpr double kMaxTimeScale = 100.0;

    // Sound backend of the audio queues: "pulse" (PulseAudio), "alsa" (the
    // ALSA device alsaDevice) or "null" (no sound card: plays and records in
    // real time scaled by timeScale). Empty: pulse when a PulseAudio server
    // answers, else null.
    std::string audioBackend;
    std::string alsaDevice = "default";

    // A protocol duration as the system should wait it.
    template <class Rep, class Period>
    std::chrono::nanoseconds scaled(std::chrono::duration<Rep, Period> d) const {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d);
        return std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(ns.count()) * timeScale));
    }
    // A millisecond count as the system should wait it (at least 1 ms when
    // the unscaled value was positive).
    int scaledMs(int ms) const;

    static Config& shared();

    // The folder of shipped resources beside the running program: the first
    // "share/lumora" found in the program's folder or up to three folders
    // above it (an installed /usr/bin/lumora finds /usr/share/lumora; a
    // program in a build tree finds the copy the build makes). Empty when
    // there is none.
    static std::string installedResourceDir();

    // Why the resource `name` (a path below the resource folder) cannot be
    // found, for a message: the configured folder and the "share/lumora"
    // folders beside the program, and LUMORA_RESOURCES.
    std::string missingResource(const std::string& name) const;

    // Defaults, then the file named by LUMORA_CONFIG (lines "key = value";
    // keys as the field names, relayHosts as relayHost1..relayHost4), then
    // single environment overrides: LUMORA_DATA_ROOT, LUMORA_RESOURCES.
    // Without any of them dataRoot is $XDG_DATA_HOME/lumora or
    // ~/.local/share/lumora. Answers false (and prints why) for a file that
    // cannot be read or holds an unknown key or a bad value: the program
    // then stops.
    bool loadFromEnvironment();
    // Reads a configuration file (see ConfigFile); each problem goes to
    // standard error as "FILE:LINE: problem", and a file with problems
    // changes nothing.
    bool loadFile(const std::string& path);
    // Sets one key from its text; false (and why, when asked) for an unknown
    // key or a value out of its range.
    bool set(const std::string& key, const std::string& value, std::string* problem = nullptr);

private:
    bool apply(const std::string& key, const std::string& value, std::string& why);
};

}  // namespace lumora
