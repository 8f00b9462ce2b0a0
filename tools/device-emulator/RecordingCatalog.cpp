#include "tools/device-emulator/RecordingCatalog.h"

#include <algorithm>
#include <cstdio>

#include "tools/device-emulator/DevicePacket.h"

namespace lumora::devemu {

using namespace wire;

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

// A date-time record at offset at: microseconds, year, month, day, hour, minute, second.
int64_t readDateTime(std::span<const uint8_t> b, size_t at) {
    EmulatorDateTime t;
    t.year = static_cast<int>(getU32(b, at + 4));
    t.month = static_cast<int>(getU32(b, at + 8));
    t.day = static_cast<int>(getU32(b, at + 12));
    t.hour = static_cast<int>(getU32(b, at + 16));
    t.minute = static_cast<int>(getU32(b, at + 20));
    t.second = static_cast<int>(getU32(b, at + 24));
    if (t.year == 0) return 0;  // not given
    t.month = std::clamp(t.month, 1, 12);
    t.day = std::clamp(t.day, 1, 31);
    return RecordingCatalog::toSeconds(t);
}

}  // namespace

bool RecordingQuery::read(std::span<const uint8_t> body, RecordingQuery& q) {
    // 32-bit word, channel mask, start, end, type mask, most per answer, two words
    if (body.size() < kSearchRequestSize) return false;
    q.channelMask = getU32(body, 4);
    q.from = readDateTime(body, 8);
    q.to = readDateTime(body, 8 + kDateTimeSize);
    q.typeMask = getU32(body, 64);
    q.perAnswer = getU32(body, 68);
    return true;
}

int64_t RecordingCatalog::toSeconds(const EmulatorDateTime& t) {
    return daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           int64_t(t.hour) * 3600 + int64_t(t.minute) * 60 + t.second;
}

EmulatorDateTime RecordingCatalog::fromSeconds(int64_t s) {
    EmulatorDateTime t;
    int64_t days = s / 86400;
    int64_t rest = s % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

void RecordingCatalog::putDateTime(std::vector<uint8_t>& out, const EmulatorDateTime& t) {
    putU32(out, 0);
    putU32(out, static_cast<uint32_t>(t.year));
    putU32(out, static_cast<uint32_t>(t.month));
    putU32(out, static_cast<uint32_t>(t.day));
    putU32(out, static_cast<uint32_t>(t.hour));
    putU32(out, static_cast<uint32_t>(t.minute));
    putU32(out, static_cast<uint32_t>(t.second));
}

RecordingCatalog::RecordingCatalog(const EmulatorOptions& o) : recordings_(o.recordings) {
    const int channels = std::max(1, o.channels);
    int64_t at = toSeconds(o.recordingStart);
    for (int i = 0; i < o.recordingCount; ++i) {
        EmulatorRecording r;
        r.channel = i % channels;
        r.start = fromSeconds(at);
        r.seconds = std::max(1, o.recordingSeconds);
        r.bytes = static_cast<uint32_t>(r.seconds) * 64000u;  // about 512 kbit/s
        char name[64];
        std::snprintf(name, sizeof name, "ch%02d_%04d%02d%02d_%02d%02d%02d.h264", r.channel + 1, r.start.year,
                      r.start.month, r.start.day, r.start.hour, r.start.minute, r.start.second);
        r.name = name;
        recordings_.push_back(std::move(r));
        at += std::max(1, o.recordingSeconds) + std::max(0, o.recordingGapSeconds);
    }
    std::stable_sort(recordings_.begin(), recordings_.end(), [](const auto& a, const auto& b) {
        return toSeconds(a.start) < toSeconds(b.start);
    });
}

std::vector<const EmulatorRecording*> RecordingCatalog::search(const RecordingQuery& q) const {
    std::vector<const EmulatorRecording*> out;
    for (const EmulatorRecording& r : recordings_) {
        if (q.channelMask != 0 && (r.channel < 0 || r.channel > 31 || !(q.channelMask & (1u << r.channel)))) continue;
        if (q.typeMask != 0 && (r.type < 0 || r.type > 31 || !(q.typeMask & (1u << r.type)))) continue;
        const int64_t begin = toSeconds(r.start);
        const int64_t end = begin + r.seconds;
        if (q.from != 0 && end <= q.from) continue;
        if (q.to != 0 && begin > q.to) continue;
        out.push_back(&r);
    }
    return out;
}

std::vector<uint8_t> RecordingCatalog::fileInfo(const EmulatorRecording& r) {
    std::vector<uint8_t> b;
    putText(b, r.name, 260);
    putU32(b, r.bytes);
    putU32(b, static_cast<uint32_t>(r.seconds));
    putU32(b, r.channel >= 0 && r.channel < 32 ? 1u << r.channel : 0u);
    putDateTime(b, r.start);
    putDateTime(b, fromSeconds(toSeconds(r.start) + r.seconds));
    b.push_back(static_cast<uint8_t>(r.channel));
    b.push_back(static_cast<uint8_t>(r.type));
    b.push_back(0);
    b.push_back(0);
    return b;
}

}  // namespace lumora::devemu
