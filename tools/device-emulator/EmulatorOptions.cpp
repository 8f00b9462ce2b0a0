#include "tools/device-emulator/EmulatorOptions.h"

#include <getopt.h>

#include <charconv>
#include <functional>
#include <map>

#include "tools/device-emulator/DevicePacket.h"

namespace lumora::devemu {

namespace {

bool toLong(const std::string& s, long& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

// "host:port" with a numeric port; the host part may be empty ("127.0.0.2" when so).
bool hostPort(const std::string& s, std::string& host, uint16_t& port) {
    size_t colon = s.rfind(':');
    if (colon == std::string::npos) return false;
    long p = 0;
    if (!toLong(s.substr(colon + 1), p) || p < 0 || p > 65535) return false;
    host = colon == 0 ? std::string("127.0.0.2") : s.substr(0, colon);
    port = static_cast<uint16_t>(p);
    return true;
}

}  // namespace

bool parseDateTime(const std::string& s, EmulatorDateTime& out) {
    // YYYY-MM-DDTHH:MM:SS (a blank in place of the T also goes)
    if (s.size() != 19 || s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != ' ') || s[13] != ':' ||
        s[16] != ':')
        return false;
    long f[6];
    const size_t at[6] = {0, 5, 8, 11, 14, 17};
    const size_t len[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i) {
        if (!toLong(s.substr(at[i], len[i]), f[i])) return false;
    }
    if (f[0] < 1970 || f[0] > 9999 || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 ||
        f[5] > 59)
        return false;
    out = {int(f[0]), int(f[1]), int(f[2]), int(f[3]), int(f[4]), int(f[5])};
    return true;
}

std::string helpText() {
    return R"(lumora-devemu: a fake camera/recorder speaking the device message protocol.

Usage: lumora-devemu [options]

Listening (TCP and UDT may run side by side; port 0 takes a free port):
  --listen HOST:PORT        TCP listener (default 127.0.0.2:0)
  --no-tcp                  no TCP listener
  --udt HOST:PORT           also a UDT listener; HOST must be the exact address
                            clients dial (UDT drops datagrams from other sources)
  --run-for SECONDS         stop by itself after this long (default: until Ctrl-C)
  -q, --quiet               no event lines on standard output, errors only in the log
  -v, --verbose             more diagnostics on standard error
  -h, --help                this text
  -V, --version             the program's version

Device:
  --channels N              channel count reported in the device information (4)
  --user NAME --password P  credentials the device accepts (admin / admin)
  --name TEXT               device name in the device information (devemu)
  --recording NAME          a recording the device keeps, listed by a search (repeatable)
  --login-result N          answer every login with result N (0: check credentials)
  --bad-login-result N      result for wrong credentials (2)
  --encrypted accept|refuse logins that carry an encryption type (accept, unchecked)
  --protocol-version MAIN.SUB  protocol version the device reports (5.0)
  --talk grant|refuse       answer to talk requests (grant)
  --missing-channel result|silent  a login for a channel the device lacks:
                            answered with result 24, or (a fault) ignored
  --config-set-result N     result of an accepted configuration set (0); a
                            malformed one gets 1, read by clients as refused

Recordings kept on the device (answered to recording searches):
  --recordings N            N recordings, back to back, on channels 0, 1, ...
                            in turn (0)
  --recording-start YYYY-MM-DDTHH:MM:SS  start of the first (2026-01-01T23:50:00)
  --recording-length SECONDS  length of each (450)
  --recording-gap SECONDS   pause between two (30)

Stream:
  --video FILE              Annex-B H.264 clip, looped (default: the test clip)
  --fps N                   frame rate, reported and paced (25)
  --size WxH                picture size reported in the stream format (320x240)
  --pace rate|fast|step     at the frame rate, as fast as possible, or one by one
                            as a test controller releases frames (rate)
  --once                    do not loop the clip
  --no-audio                no audio records (default: G.711 A-law every 40 ms)
  --big-key BYTES           grow every key frame to at least BYTES with filler
                            data (above 65535 exercises the long key-frame
                            packet; at most 204776, a packet of 204800)

Choices the protocol leaves to the device (default first):
  --version-type 40|39      record type of the version reply
  --devinfo-type 70|71      record type of the device information
  --format-type 200|199|203 record type of the stream format
  --login-packets one|each  login replies in one packet, or one packet per reply
  --time-unit ms|us|90k     unit of frame time stamps, counted from stream start
  --nonkey-type 102|101     record type of non-key frames at main version 5
  --big-nonkey drop|key|long  a non-key frame above 65535 bytes at main version 5:
                            dropped, sent mislabelled as a key-frame record, or
                            (a fault the client cannot follow) a non-key record
                            running to the packet end
  --v3-framing separate|together  at main version 3: extended frame information
                            in a packet of its own or with the first fragment
  --v3-fragment BYTES       data bytes per fragment at main version 3 (16384)

Faults (packet counts are per session, every packet the device sends):
  --split-writes BYTES      write every packet in pieces of BYTES
  --coalesce N              gather N packets into one write
  --silent-after N          send nothing more after N packets (link stays open)
  --close-after N           close the link after N packets
  --reset-after N           reset the link after N packets
  --oversize-after N        after N packets send a packet length over 204800

Events (logins, heartbeats, pan/tilt/zoom commands, talk requests, talk audio,
faults) are printed one per line.
)";
}

bool parseArguments(const std::vector<std::string>& args, EmulatorOptions& o, ProgramOptions& program,
                    std::string& error) {
    // Every option takes its value as the next word or after "=".
    static const char* const kWithValue[] = {
        "listen", "udt", "run-for", "channels", "user", "password", "name", "login-result", "bad-login-result",
        "encrypted", "protocol-version", "talk", "video", "fps", "size", "pace", "big-key", "version-type",
        "devinfo-type", "format-type", "login-packets", "time-unit", "nonkey-type", "big-nonkey", "v3-framing",
        "v3-fragment", "split-writes", "coalesce", "silent-after", "close-after", "reset-after", "oversize-after",
        "missing-channel", "config-set-result", "recording", "recordings", "recording-start", "recording-length",
        "recording-gap"};
    static const char* const kFlags[] = {"help", "version", "verbose", "quiet", "no-tcp", "once", "no-audio"};
    std::vector<option> table;
    for (const char* n : kWithValue) table.push_back({n, required_argument, nullptr, 0});
    for (const char* n : kFlags) table.push_back({n, no_argument, nullptr, 0});
    table.push_back({nullptr, 0, nullptr, 0});

    std::vector<std::string> words{"lumora-devemu"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    optind = 0;  // a fresh scan (GNU getopt)
    opterr = 0;
    while (true) {
        int index = -1;
        int c = getopt_long(int(words.size()), argv.data(), "+:hVvq", table.data(), &index);
        if (c == -1) break;
        std::string a;
        if (c == 'h') a = "--help";
        else if (c == 'V') a = "--version";
        else if (c == 'v') a = "--verbose";
        else if (c == 'q') a = "--quiet";
        else if (c == 0 && index >= 0) a = std::string("--") + table[size_t(index)].name;
        else if (c == ':') {
            error = std::string(words[size_t(optind - 1)]) + " needs a value";
            return false;
        } else {
            error = "unknown option " + std::string(words[size_t(optind - 1)]);
            return false;
        }
        const std::string optionValue = optarg ? optarg : "";
        auto value = [&](std::string& out) {
            out = optionValue;
            return true;
        };
        auto number = [&](long& out, long lo, long hi) {
            if (!toLong(optionValue, out) || out < lo || out > hi) {
                error = a + " wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                        ", not \"" + optionValue + "\"";
                return false;
            }
            return true;
        };
        auto choice = [&](const std::map<std::string, std::function<void()>>& table) {
            auto it = table.find(optionValue);
            if (it == table.end()) {
                error = a + ": unknown choice " + optionValue;
                return false;
            }
            it->second();
            return true;
        };
        long n = 0;
        std::string v;
        bool ok = true;
        if (a == "--help") {
            program.help = true;
        } else if (a == "--version") {
            program.version = true;
        } else if (a == "--verbose") {
            program.verbose = true;
        } else if (a == "--listen") {
            ok = value(v) && hostPort(v, o.tcpHost, o.tcpPort);
            if (!ok) error = "--listen wants HOST:PORT with a port from 0 to 65535, not \"" + v + "\"";
            o.tcp = true;
        } else if (a == "--no-tcp") {
            o.tcp = false;
        } else if (a == "--udt") {
            ok = value(v) && hostPort(v, o.udtHost, o.udtPort);
            if (!ok) error = "--udt wants HOST:PORT with a port from 0 to 65535, not \"" + v + "\"";
            o.udt = true;
        } else if (a == "--run-for") {
            ok = number(program.runSeconds, 0, 1000000);
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--channels") {
            ok = number(n, 1, 255);
            o.channels = int(n);
        } else if (a == "--user") {
            ok = value(o.user);
        } else if (a == "--password") {
            ok = value(o.password);
        } else if (a == "--name") {
            ok = value(o.deviceName);
        } else if (a == "--recording") {
            std::string name;
            ok = value(name);
            if (ok) o.recordings.push_back(name);
        } else if (a == "--login-result") {
            ok = number(n, 0, 65535);
            o.forcedLoginResult = int(n);
        } else if (a == "--bad-login-result") {
            ok = number(n, 0, 65535);
            o.badCredentialsResult = int(n);
        } else if (a == "--encrypted") {
            ok = choice({{"accept", [&] { o.acceptEncrypted = true; }}, {"refuse", [&] { o.acceptEncrypted = false; }}});
        } else if (a == "--protocol-version") {
            long mj = 0, mn = 0;
            ok = value(v);
            size_t dot = v.find('.');
            if (ok && (dot == std::string::npos || !toLong(v.substr(0, dot), mj) || !toLong(v.substr(dot + 1), mn) ||
                       mj < 0 || mj > 65535 || mn < 0 || mn > 65535)) {
                error = "--protocol-version: expected MAIN.SUB, got " + v;
                ok = false;
            }
            o.mainVersion = uint16_t(mj);
            o.subVersion = uint16_t(mn);
        } else if (a == "--talk") {
            ok = choice({{"grant", [&] { o.grantTalk = true; }}, {"refuse", [&] { o.grantTalk = false; }}});
        } else if (a == "--missing-channel") {
            ok = choice({{"result", [&] { o.silentOnMissingChannel = false; }},
                         {"silent", [&] { o.silentOnMissingChannel = true; }}});
        } else if (a == "--config-set-result") {
            ok = number(n, 0, 65535);
            o.configSetResult = int(n);
        } else if (a == "--recordings") {
            ok = number(n, 0, 100000);
            o.recordingCount = int(n);
        } else if (a == "--recording-start") {
            ok = value(v);
            if (ok && !parseDateTime(v, o.recordingStart)) {
                error = "--recording-start: expected YYYY-MM-DDTHH:MM:SS, got " + v;
                ok = false;
            }
        } else if (a == "--recording-length") {
            ok = number(n, 1, 86400 * 7);
            o.recordingSeconds = int(n);
        } else if (a == "--recording-gap") {
            ok = number(n, 0, 86400 * 7);
            o.recordingGapSeconds = int(n);
        } else if (a == "--video") {
            ok = value(o.videoPath);
        } else if (a == "--fps") {
            ok = number(n, 1, 255);
            o.fps = int(n);
        } else if (a == "--size") {
            long w = 0, h = 0;
            ok = value(v);
            size_t x = v.find('x');
            if (ok && (x == std::string::npos || !toLong(v.substr(0, x), w) || !toLong(v.substr(x + 1), h) || w < 1 ||
                       w > 65535 || h < 1 || h > 65535)) {
                error = "--size: expected WxH, got " + v;
                ok = false;
            }
            o.width = int(w);
            o.height = int(h);
        } else if (a == "--pace") {
            ok = choice({{"rate", [&] { o.pace = Pace::FrameRate; }},
                         {"fast", [&] { o.pace = Pace::Fast; }},
                         {"step", [&] { o.pace = Pace::Step; }}});
        } else if (a == "--once") {
            o.loop = false;
        } else if (a == "--no-audio") {
            o.audio = false;
        } else if (a == "--big-key") {
            ok = number(n, 0, wire::kMaxKeyFrameBytes);
            o.bigKeyFrame = size_t(n);
        } else if (a == "--version-type") {
            ok = choice({{"40", [&] { o.versionType = 40; }}, {"39", [&] { o.versionType = 39; }}});
        } else if (a == "--devinfo-type") {
            ok = choice({{"70", [&] { o.deviceInfoType = 70; }}, {"71", [&] { o.deviceInfoType = 71; }}});
        } else if (a == "--format-type") {
            ok = choice({{"200", [&] { o.streamFormatType = 200; }},
                         {"199", [&] { o.streamFormatType = 199; }},
                         {"203", [&] { o.streamFormatType = 203; }}});
        } else if (a == "--login-packets") {
            ok = choice({{"one", [&] { o.grouping = LoginGrouping::OnePacket; }},
                         {"each", [&] { o.grouping = LoginGrouping::PerReply; }}});
        } else if (a == "--time-unit") {
            ok = choice({{"ms", [&] { o.timeUnit = TimeUnit::Milliseconds; }},
                         {"us", [&] { o.timeUnit = TimeUnit::Microseconds; }},
                         {"90k", [&] { o.timeUnit = TimeUnit::Clock90k; }}});
        } else if (a == "--nonkey-type") {
            ok = choice({{"102", [&] { o.nonKeyType = 102; }}, {"101", [&] { o.nonKeyType = 101; }}});
        } else if (a == "--big-nonkey") {
            ok = choice({{"long", [&] { o.bigNonKey = BigNonKey::LongPacket; }},
                         {"key", [&] { o.bigNonKey = BigNonKey::AsKey; }},
                         {"drop", [&] { o.bigNonKey = BigNonKey::Drop; }}});
        } else if (a == "--v3-framing") {
            ok = choice({{"separate", [&] { o.v3Framing = V3Framing::Separate; }},
                         {"together", [&] { o.v3Framing = V3Framing::Together; }}});
        } else if (a == "--v3-fragment") {
            ok = number(n, 1, 65535);
            o.v3Fragment = size_t(n);
        } else if (a == "--split-writes") {
            ok = number(n, 0, 1 << 20);
            o.splitWrites = size_t(n);
        } else if (a == "--coalesce") {
            ok = number(n, 0, 10000);
            o.coalesce = int(n);
        } else if (a == "--silent-after") {
            ok = number(o.silentAfter, 0, 1L << 40);
        } else if (a == "--close-after") {
            ok = number(o.closeAfter, 0, 1L << 40);
        } else if (a == "--reset-after") {
            ok = number(o.resetAfter, 0, 1L << 40);
        } else if (a == "--oversize-after") {
            ok = number(o.oversizeAfter, 0, 1L << 40);
        }
        if (!ok) {
            if (error.empty()) error = "bad value for " + a;
            return false;
        }
    }
    if (optind < int(words.size())) {
        error = "unexpected argument \"" + words[size_t(optind)] + "\"";
        return false;
    }
    return true;
}

}  // namespace lumora::devemu
