#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumora::devemu {

// How frames are paced once a live stream runs.
enum class Pace {
    FrameRate,  // one frame per 1/fps second
    Fast,       // back to back, as fast as the link takes them
    Step,       // only as many as the controller released (DeviceEmulator::releaseFrames)
};

// How the replies to a login are grouped into packets.
enum class LoginGrouping {
    OnePacket,  // version, login result, device information, stream format in one packet
    PerReply,   // each reply record in a packet of its own
};

// Unit of the 32-bit time stamps of frames (counted from the stream's start).
enum class TimeUnit { Milliseconds, Microseconds, Clock90k };

// What a main-version-5 device does with a non-key frame above 65535 bytes.
// Only a key-frame record may run past its 16-bit length field, so a non-key
// frame that large has no honest layout: the device leaves it out. AsKey
// carries it readably but labels it a key frame; LongPacket is a fault that
// desynchronises the client.
enum class BigNonKey {
    LongPacket,  // fault: a non-key record runs to the end of its packet
    AsKey,       // sent as a key-frame record (type 100), which the long rule covers
    Drop,        // not sent at all
};

// A date and time as the device's records carry it (no time zone).
struct EmulatorDateTime {
    int year = 2026, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// A recording kept on the device, as the recording search reports it. A
// name alone makes a recording of channel 0 at the default start.
struct EmulatorRecording {
    std::string name;
    int channel = 0;         // zero-based
    int type = 0;            // bit of the search's record-type mask (0: schedule, 1: alarm, ...)
    EmulatorDateTime start;
    int seconds = 600;       // length
    uint32_t bytes = 0;      // reported size

    EmulatorRecording() = default;
    EmulatorRecording(const char* n) : name(n) {}
    EmulatorRecording(std::string n, int ch = 0, int t = 0, EmulatorDateTime s = {}, int secs = 600, uint32_t b = 0)
        : name(std::move(n)), channel(ch), type(t), start(s), seconds(secs), bytes(b) {}
};

// How a main-version-3 device lays out a frame after its extended frame information.
enum class V3Framing {
    Separate,  // frame information alone in one packet, then one packet per fragment
    Together,  // frame information and the first fragment in one packet
};

// Everything a device emulator can be told. Defaults describe what a plain
// camera most plausibly does.
struct EmulatorOptions {
    // Listening. A port of 0 takes any free port (see DeviceEmulator::tcpPort).
    bool tcp = true;
    std::string tcpHost = "127.0.0.2";
    uint16_t tcpPort = 0;
    bool udt = false;
    std::string udtHost = "127.0.0.2";  // UDT needs the exact address the client dials
    uint16_t udtPort = 0;

    // The device.
    int channels = 4;
    std::string user = "admin";
    std::string password = "admin";
    std::string deviceName = "devemu";
    int forcedLoginResult = 0;     // not 0: every login gets this result
    int badCredentialsResult = 2;  // result for a wrong user name or password
    bool acceptEncrypted = true;   // logins with an encryption type are let in unchecked
    uint16_t mainVersion = 5;
    uint16_t subVersion = 0;
    uint16_t versionType = 40;       // 39 or 40
    uint16_t deviceInfoType = 70;    // 70 or 71
    uint16_t streamFormatType = 200; // 199, 200 or 203
    LoginGrouping grouping = LoginGrouping::OnePacket;
    bool grantTalk = true;
    // A login for a channel the device lacks is answered with result 24;
    // true makes the device ignore it instead (a fault some firmware shows).
    bool silentOnMissingChannel = false;
    // Result of a configuration set the device accepts (a malformed or
    // out-of-range one gets 1, which the client reads as a refusal). 1 here
    // refuses every set.
    int configSetResult = 0;

    // Recordings kept on the device (--recording NAME adds one by name).
    // recordingCount generated ones are added
    // to the listed ones when the emulator starts: back to back from
    // recordingStart, recordingSeconds long with recordingGapSeconds between
    // them, on channels 0, 1, ... in turn.
    std::vector<EmulatorRecording> recordings;
    int recordingCount = 0;
    EmulatorDateTime recordingStart{2026, 1, 1, 23, 50, 0};
    int recordingSeconds = 450;
    int recordingGapSeconds = 30;

    // The stream.
    std::string videoPath;  // Annex-B H.264; empty: DeviceEmulator::defaultClipPath()
    int fps = 25;
    int width = 320;   // reported in the stream format
    int height = 240;
    Pace pace = Pace::FrameRate;
    bool loop = true;
    TimeUnit timeUnit = TimeUnit::Milliseconds;
    uint16_t nonKeyType = 102;   // 101 or 102 at main version 5
    size_t bigKeyFrame = 0;      // not 0: key frames are grown to at least this many bytes
    BigNonKey bigNonKey = BigNonKey::Drop;
    V3Framing v3Framing = V3Framing::Separate;
    size_t v3Fragment = 16384;   // data bytes per fragment at main version 3
    bool audio = true;           // G.711 A-law records every audioIntervalMs
    int audioIntervalMs = 40;

    // Fault injection. Packet counts are per session and count every packet
    // the device sends; -1 means never.
    size_t splitWrites = 0;       // write every packet in pieces of this many bytes
    int coalesce = 0;             // gather this many packets into one write
    long silentAfter = -1;        // send nothing more after this many packets
    long closeAfter = -1;         // close the link after this many packets
    long resetAfter = -1;         // reset the link after this many packets
    long oversizeAfter = -1;      // after this many packets send a length over the limit

    bool frameEvents = false;  // an event "frame <index> clip <position>" as each frame is sent
    bool quiet = false;  // the program: no event lines
};

// What the command line asks of the program itself.
struct ProgramOptions {
    long runSeconds = -1;  // -1: until interrupted
    bool help = false;
    bool version = false;
    bool verbose = false;
};

// Reads the program's command line (without the program name) into options.
// Answers false with a reason for an unknown option, a missing value, a
// number out of its range or a stray argument.
bool parseArguments(const std::vector<std::string>& args, EmulatorOptions& options, ProgramOptions& program,
                    std::string& error);

// Reads "YYYY-MM-DDTHH:MM:SS" (or with a blank for the T).
bool parseDateTime(const std::string& text, EmulatorDateTime& out);

// The program's help text, listing every option and every selectable choice.
std::string helpText();

}  // namespace lumora::devemu
