#include "tools/device-emulator/H264Clip.h"

#include <fstream>
#include <iterator>

namespace lumora::devemu {

namespace {

// Largest clip we accept: a test clip is tens of kilobytes.
constexpr size_t kMaxClipBytes = 64u * 1024 * 1024;

struct Nal {
    size_t start;   // offset of its start code (the 4-byte form includes the zero byte)
    size_t header;  // offset of the NAL header byte
};

std::vector<Nal> findNals(const std::vector<uint8_t>& s) {
    std::vector<Nal> nals;
    size_t i = 0;
    while (i + 3 <= s.size()) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            size_t start = (i > 0 && s[i - 1] == 0) ? i - 1 : i;
            if (!nals.empty() && start < nals.back().header) start = i;
            nals.push_back({start, i + 3});
            i += 3;
        } else {
            ++i;
        }
    }
    // A start code at the very end carries no NAL header.
    if (!nals.empty() && nals.back().header >= s.size()) nals.pop_back();
    return nals;
}

}  // namespace

bool H264Clip::load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff len = in.tellg();
    if (len < 0 || static_cast<size_t>(len) > kMaxClipBytes) {
        error = "clip too large or unreadable: " + path;
        return false;
    }
    in.seekg(0);
    std::vector<uint8_t> data(static_cast<size_t>(len));
    if (len > 0 && !in.read(reinterpret_cast<char*>(data.data()), len)) {
        error = "cannot read " + path;
        return false;
    }
    return parse(data, error);
}

bool H264Clip::parse(const std::vector<uint8_t>& s, std::string& error) {
    units_.clear();
    std::vector<Nal> nals = findNals(s);
    if (nals.empty()) {
        error = "no H.264 start code found";
        return false;
    }
    size_t auStart = nals[0].start;
    bool hasSlice = false;
    bool key = false;
    for (size_t k = 0; k < nals.size(); ++k) {
        uint8_t type = s[nals[k].header] & 0x1F;
        bool isSlice = type == 1 || type == 5;
        bool firstMb = isSlice && nals[k].header + 1 < s.size() && (s[nals[k].header + 1] & 0x80);
        bool startsUnit = hasSlice && (type == 9 || type == 7 || type == 8 || type == 6 || (isSlice && firstMb));
        if (startsUnit) {
            units_.push_back({std::vector<uint8_t>(s.begin() + auStart, s.begin() + nals[k].start), key});
            auStart = nals[k].start;
            hasSlice = false;
            key = false;
        }
        if (isSlice) hasSlice = true;
        if (type == 5) key = true;
    }
    units_.push_back({std::vector<uint8_t>(s.begin() + auStart, s.end()), key});
    if (!hasSlice) units_.pop_back();  // trailing parameter sets without a picture
    if (units_.empty()) {
        error = "no picture in the clip";
        return false;
    }
    return true;
}

std::vector<uint8_t> H264Clip::padded(const std::vector<uint8_t>& unit, size_t minBytes) {
    std::vector<uint8_t> out = unit;
    if (out.size() >= minBytes) return out;
    // 00 00 00 01, NAL header 0x0C (filler data), 0xFF bytes, 0x80 stop bit.
    size_t need = minBytes - out.size();
    if (need < 7) need = 7;
    const uint8_t head[] = {0, 0, 0, 1, 0x0C};
    out.insert(out.end(), std::begin(head), std::end(head));
    out.insert(out.end(), need - 6, 0xFF);
    out.push_back(0x80);
    return out;
}

}  // namespace lumora::devemu
