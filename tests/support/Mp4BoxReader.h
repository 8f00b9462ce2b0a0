#pragma once

// Reading back MP4 files written by the recorder in tests: the box tree, the
// sample tables and the samples themselves, and ffprobe's view of a file.
// Header-only; every read is bounds-checked (a malformed file fails the
// look-up rather than the test program).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/bytes/ByteReader.h"

namespace lumora::test {

struct Mp4Box {
    std::string type;
    size_t offset = 0;   // of the size field
    size_t size = 0;     // whole box
    size_t payload = 0;  // offset of the first byte after the 8-byte header
};

// Big-endian words at a byte offset; 0 where the bytes run out.
inline uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    ByteReader r(b.data(), b.size());
    uint32_t v = 0;
    return r.seek(at) && r.u32be(v) ? v : 0;
}
inline uint16_t be16(const std::vector<uint8_t>& b, size_t at) {
    ByteReader r(b.data(), b.size());
    uint16_t v = 0;
    return r.seek(at) && r.u16be(v) ? v : 0;
}

// The boxes laid one after another in [from, to).
inline std::vector<Mp4Box> mp4Boxes(const std::vector<uint8_t>& b, size_t from, size_t to) {
    std::vector<Mp4Box> boxes;
    size_t at = from;
    while (at + 8 <= to && to <= b.size()) {
        const size_t size = be32(b, at);
        if (size < 8 || at + size > to) break;
        boxes.push_back({std::string(reinterpret_cast<const char*>(&b[at + 4]), 4), at, size, at + 8});
        at += size;
    }
    return boxes;
}

// Bytes between a box's header and its first child.
inline size_t mp4ChildOffset(const std::string& type) {
    if (type == "stsd" || type == "dref") return 8;
    if (type == "avc1") return 78;
    return 0;
}

// Finds a box by a dotted path from the file's top level.
inline std::optional<Mp4Box> mp4Find(const std::vector<uint8_t>& b, const std::string& path) {
    size_t from = 0, to = b.size();
    std::optional<Mp4Box> found;
    size_t start = 0;
    while (start <= path.size()) {
        size_t dot = path.find('.', start);
        if (dot == std::string::npos) dot = path.size();
        const std::string name = path.substr(start, dot - start);
        found.reset();
        for (const auto& box : mp4Boxes(b, from, to)) {
            if (box.type == name) {
                found = box;
                break;
            }
        }
        if (!found) return std::nullopt;
        from = found->payload + mp4ChildOffset(found->type);
        to = found->offset + found->size;
        start = dot + 1;
    }
    return found;
}

inline std::vector<uint8_t> mp4BoxBytes(const std::vector<uint8_t>& b, const Mp4Box& box) {
    return std::vector<uint8_t>(b.begin() + static_cast<long>(box.offset),
                                b.begin() + static_cast<long>(box.offset + box.size));
}

// The rows of a full-box table: entry count at payload + 4 (+ extra words
// before it), then rows of `columns` 32-bit words.
inline std::vector<std::vector<uint32_t>> mp4Table(const std::vector<uint8_t>& b, const std::string& path,
                                                   size_t columns, size_t wordsBeforeCount = 0) {
    std::vector<std::vector<uint32_t>> rows;
    auto box = mp4Find(b, path);
    if (!box) return rows;
    const size_t countAt = box->payload + 4 + 4 * wordsBeforeCount;
    const uint32_t count = be32(b, countAt);
    size_t at = countAt + 4;
    for (uint32_t i = 0; i < count && at + 4 * columns <= box->offset + box->size; ++i) {
        std::vector<uint32_t> row;
        for (size_t c = 0; c < columns; ++c, at += 4) row.push_back(be32(b, at));
        rows.push_back(row);
    }
    return rows;
}

struct Mp4Tables {
    std::vector<uint32_t> sizes;                 // stsz
    std::vector<uint32_t> offsets;               // stco
    std::vector<std::vector<uint32_t>> stsc;     // firstChunk, samplesPerChunk, index
    std::vector<std::vector<uint32_t>> stts;     // count, delta
    std::vector<uint32_t> sync;                  // stss
};

inline Mp4Tables mp4ReadTables(const std::vector<uint8_t>& b) {
    const std::string stbl = "moov.trak.mdia.minf.stbl.";
    Mp4Tables t;
    for (auto& r : mp4Table(b, stbl + "stsz", 1, 1)) t.sizes.push_back(r[0]);
    for (auto& r : mp4Table(b, stbl + "stco", 1)) t.offsets.push_back(r[0]);
    for (auto& r : mp4Table(b, stbl + "stss", 1)) t.sync.push_back(r[0]);
    t.stsc = mp4Table(b, stbl + "stsc", 3);
    t.stts = mp4Table(b, stbl + "stts", 2);
    return t;
}

// Every sample's bytes, found through the chunk tables.
inline std::vector<std::vector<uint8_t>> mp4Samples(const std::vector<uint8_t>& b) {
    const Mp4Tables t = mp4ReadTables(b);
    std::vector<std::vector<uint8_t>> samples;
    size_t sample = 0;
    for (size_t chunk = 0; chunk < t.offsets.size(); ++chunk) {
        uint32_t perChunk = 0;
        for (const auto& row : t.stsc) {
            if (row[0] <= chunk + 1) perChunk = row[1];
        }
        size_t at = t.offsets[chunk];
        for (uint32_t i = 0; i < perChunk && sample < t.sizes.size(); ++i, ++sample) {
            const size_t n = t.sizes[sample];
            if (at + n > b.size()) return samples;
            samples.emplace_back(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
            at += n;
        }
    }
    return samples;
}

// A sample's NAL units (4-byte lengths) as Annex B with 4-byte start codes.
inline std::vector<uint8_t> mp4SampleToAnnexB(const std::vector<uint8_t>& s) {
    std::vector<uint8_t> out;
    size_t at = 0;
    while (at + 4 <= s.size()) {
        const size_t n = be32(s, at);
        at += 4;
        if (at + n > s.size()) break;
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + n));
        at += n;
    }
    return out;
}

// NAL units of an Annex B stream, each with its start code.
inline std::vector<std::vector<uint8_t>> annexBUnits(const std::vector<uint8_t>& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            starts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    }
    std::vector<std::vector<uint8_t>> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
        units.emplace_back(s.begin() + static_cast<long>(starts[k]), s.begin() + static_cast<long>(end));
    }
    return units;
}

// A NAL unit's body: without its start code.
inline std::vector<uint8_t> nalBody(const std::vector<uint8_t>& nal) {
    size_t sc = 0;
    if (nal.size() >= 4 && nal[0] == 0 && nal[1] == 0 && nal[2] == 0 && nal[3] == 1) sc = 4;
    else if (nal.size() >= 3 && nal[0] == 0 && nal[1] == 0 && nal[2] == 1) sc = 3;
    return std::vector<uint8_t>(nal.begin() + static_cast<long>(sc), nal.end());
}

// ffprobe's key=value lines for the first video stream (with counted frames)
// and the format.
inline std::map<std::string, std::string> ffprobe(const std::string& path) {
    std::map<std::string, std::string> values;
    const std::string cmd = "ffprobe -v error -count_frames -show_entries "
                            "stream=codec_name,width,height,nb_frames,nb_read_frames,duration,profile,level,"
                            "codec_type:format=nb_streams,duration,format_name -of default=nw=1 '" +
                            path + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return values;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const size_t eq = s.find('=');
        if (eq == std::string::npos) {
            values["error"] += s;
            continue;
        }
        // The stream's duration comes first, the format's last: keep both.
        std::string key = s.substr(0, eq);
        if (values.count(key)) key = "format." + key;
        values[key] = s.substr(eq + 1);
    }
    pclose(p);
    return values;
}

// Presentation times of the frames a player shows, in the order it shows
// them, in milliseconds.
inline std::vector<long> ffprobeFrameTimes(const std::string& path) {
    std::vector<long> times;
    const std::string cmd = "ffprobe -v error -select_streams v -show_entries frame=best_effort_timestamp_time "
                            "-of csv=p=0 '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return times;
    char line[128];
    while (fgets(line, sizeof line, p)) {
        // One number per frame; ffprobe may add empty lines between frames.
        if ((line[0] >= '0' && line[0] <= '9') || line[0] == '-')
            times.push_back(std::lround(std::atof(line) * 1000.0));
    }
    pclose(p);
    return times;
}

}  // namespace lumora::test
