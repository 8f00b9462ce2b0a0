#pragma once

// H.264 test clips made with the ffmpeg program at test time, their reference
// picture checksums, and splitting an Annex B stream into access units (one
// access unit is what a device sends as one video frame). Header-only so the
// benchmarks can share it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

namespace lumora::test {

inline bool haveFfmpegProgram() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

struct ClipOptions {
    ClipOptions(int w = 704, int h = 576, int n = 50, int g = 25, bool b = false)
        : width(w), height(h), frames(n), gop(g), bFrames(b) {}
    int width = 704;
    int height = 576;
    int frames = 50;
    int gop = 25;           // key frame every `gop` frames
    bool bFrames = false;   // main profile with 2 B-frames, else baseline
    std::string pixFmt = "yuv420p";
    std::string profile;    // overrides the profile chosen by bFrames
};

// Writes an Annex B clip; answers false when ffmpeg failed.
inline bool makeClip(const std::string& path, const ClipOptions& s) {
    std::ostringstream cmd;
    const std::string profile = !s.profile.empty() ? s.profile : (s.bFrames ? "main" : "baseline");
    cmd << "ffmpeg -v error -y -f lavfi -i testsrc2=size=" << s.width << "x" << s.height << ":rate=25"
        << " -frames:v " << s.frames << " -c:v libx264 -preset veryfast -pix_fmt " << s.pixFmt
        << " -profile:v " << profile << " -g " << s.gop << " -keyint_min " << s.gop
        << " -sc_threshold 0 -bf " << (s.bFrames ? 2 : 0) << " -threads 1 -f h264 '" << path << "'";
    return std::system(cmd.str().c_str()) == 0;
}

// MD5 of every picture as ffmpeg decodes the clip, in output order.
inline std::vector<std::string> referenceMd5(const std::string& path) {
    std::vector<std::string> md5s;
    std::string cmd = "ffmpeg -v error -i '" + path + "' -f framemd5 -pix_fmt yuv420p -";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return md5s;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        if (s.empty() || s[0] == '#') continue;
        auto comma = s.rfind(',');
        if (comma == std::string::npos) continue;
        std::string md5 = s.substr(comma + 1);
        md5.erase(0, md5.find_first_not_of(' '));
        md5.erase(md5.find_last_not_of(" \r\n") + 1);
        md5s.push_back(md5);
    }
    pclose(p);
    return md5s;
}

inline std::string md5Hex(const uint8_t* data, size_t size) {
    uint8_t digest[16];
    av_md5_sum(digest, data, static_cast<int>(size));
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (uint8_t b : digest) {
        s += hex[b >> 4];
        s += hex[b & 15];
    }
    return s;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct AccessUnit {
    std::vector<uint8_t> bytes;  // start codes included
    bool key = false;            // holds an IDR slice
};

// Splits an Annex B stream at access unit boundaries: a parameter set, SEI or
// delimiter after a picture's slices, or a slice that starts a new picture
// (first_mb_in_slice 0).
inline std::vector<AccessUnit> splitAccessUnits(const std::vector<uint8_t>& s) {
    struct Nal {
        size_t start;    // of its start code
        size_t payload;  // first byte after the start code
    };
    std::vector<Nal> nals;
    for (size_t i = 0; i + 3 <= s.size();) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            size_t start = (i > 0 && s[i - 1] == 0) ? i - 1 : i;
            nals.push_back({start, i + 3});
            i += 3;
        } else {
            ++i;
        }
    }
    std::vector<AccessUnit> units;
    AccessUnit cur;
    bool curHasSlice = false;
    for (size_t n = 0; n < nals.size(); ++n) {
        const size_t end = n + 1 < nals.size() ? nals[n + 1].start : s.size();
        if (nals[n].payload >= end) continue;
        const int type = s[nals[n].payload] & 0x1f;
        const bool slice = type == 1 || type == 5;
        bool startsUnit = false;
        if (curHasSlice) {
            if (type == 6 || type == 7 || type == 8 || type == 9) startsUnit = true;
            if (slice && nals[n].payload + 1 < end && (s[nals[n].payload + 1] & 0x80)) startsUnit = true;
        }
        if (startsUnit) {
            units.push_back(std::move(cur));
            cur = AccessUnit{};
            curHasSlice = false;
        }
        cur.bytes.insert(cur.bytes.end(), s.begin() + static_cast<long>(nals[n].start), s.begin() + static_cast<long>(end));
        if (type == 5) cur.key = true;
        if (slice) curHasSlice = true;
    }
    if (!cur.bytes.empty()) units.push_back(std::move(cur));
    return units;
}

}  // namespace lumora::test
