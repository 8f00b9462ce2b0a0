#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <regex>

#include "base/decoder/H264BitReader.h"
#include "base/decoder/H264HeaderParser.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;
using Bytes = std::vector<uint8_t>;

#define SKIP_WITHOUT_FFMPEG() \
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is missing (scripts/install-deps installs it)"

namespace {

// NAL units of an Annex B stream, each with its start code.
std::vector<Bytes> nalUnits(const Bytes& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            starts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    }
    std::vector<Bytes> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
        units.emplace_back(s.begin() + static_cast<long>(starts[k]), s.begin() + static_cast<long>(end));
    }
    return units;
}

int typeOf(const Bytes& nal) { return H264HeaderParser::NalType(nal.data(), nal.size()); }

// Parses from an exactly sized heap copy, so the sanitizer build sees any
// read past the end.
int parseExact(H264HeaderParser& p, const uint8_t* data, size_t n) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[n ? n : 1]);
    if (n) std::memcpy(copy.get(), data, n);
    return p.Parse(n ? copy.get() : nullptr, n);
}

using Fields = std::map<std::string, long long>;

// Syntax elements as ffmpeg's trace_headers filter prints them: the sequence
// parameter set (the last one seen) and every slice header in order.
struct Trace {
    Fields sps;
    std::vector<Fields> slices;
};

Trace traceHeaders(const std::string& path) {
    Trace t;
    const std::string cmd = "ffmpeg -hide_banner -nostats -i '" + path +
                            "' -c copy -bsf:v trace_headers -f null - 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return t;
    static const std::regex element(R"(\]\s+\d+\s+(\S+)\s+[01]+\s+=\s+(-?\d+))");
    Fields* current = nullptr;
    char line[1024];
    while (fgets(line, sizeof line, p)) {
        const std::string s(line);
        if (s.find("] Sequence Parameter Set") != std::string::npos) {
            t.sps.clear();
            current = &t.sps;
        } else if (s.find("] Slice Header") != std::string::npos) {
            t.slices.emplace_back();
            current = &t.slices.back();
        } else if (s.find("] Picture Parameter Set") != std::string::npos ||
                   s.find("] Supplemental Enhancement") != std::string::npos) {
            current = nullptr;
        }
        std::smatch m;
        if (current && std::regex_search(s, m, element) && !current->count(m[1])) {
            (*current)[m[1]] = std::stoll(m[2]);
        }
    }
    pclose(p);
    return t;
}

// Writes an Annex B clip with the ffmpeg program; extra goes before -f.
bool makeClip(const std::string& path, const std::string& size, const std::string& extra, int frames = 6) {
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=25 -frames:v " +
                            std::to_string(frames) + " -c:v libx264 -preset veryfast -threads 1 " + extra +
                            " -f h264 '" + path + "'";
    return std::system(cmd.c_str()) == 0;
}

std::map<std::string, std::string> probe(const std::string& path) {
    std::map<std::string, std::string> v;
    const std::string cmd = "ffprobe -v error -show_entries stream=width,height,level -of default=nw=1 '" + path + "'";
    FILE* p = popen(cmd.c_str(), "r");
    char line[256];
    while (p && fgets(line, sizeof line, p)) {
        std::string s(line);
        s.erase(s.find_last_not_of("\r\n") + 1);
        const size_t eq = s.find('=');
        if (eq != std::string::npos) v[s.substr(0, eq)] = s.substr(eq + 1);
    }
    if (p) pclose(p);
    return v;
}

// Writes H.264 syntax elements MSB first; Rbsp() adds the stop bit and the
// emulation prevention bytes a real encoder would.
class BitWriter {
public:
    BitWriter& Bits(uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) Bit((v >> i) & 1);
        return *this;
    }
    BitWriter& UE(uint64_t v) {
        const uint64_t x = v + 1;
        int len = 0;
        while ((x >> len) > 1) ++len;
        Bits(0, len);
        return Bits(x, len + 1);
    }
    BitWriter& SE(int64_t v) { return UE(v > 0 ? uint64_t(2 * v - 1) : uint64_t(-2 * v)); }
    Bytes Nal(uint8_t header) {
        Bit(1);
        while (bits_ % 8) Bit(0);
        Bytes out{0, 0, 0, 1, header};
        int zeros = 0;
        for (uint8_t b : bytes_) {
            if (zeros >= 2 && b <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = b == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    void Bit(int b) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        if (b) bytes_.back() |= uint8_t(0x80 >> (bits_ % 8));
        ++bits_;
    }
    Bytes bytes_;
    size_t bits_ = 0;
};

// A sequence parameter set with the given size fields.
Bytes makeSps(int profile, int level, uint64_t widthMbsMinus1, uint64_t heightUnitsMinus1, bool frameMbsOnly,
              bool scalingLists = false, int pocType = 0, uint64_t pocLsbMinus4 = 2) {
    BitWriter w;
    w.Bits(profile, 8).Bits(0, 8).Bits(level, 8).UE(0);
    if (profile == 100 || profile == 144) {
        w.UE(1).UE(0).UE(0).Bits(0, 1).Bits(scalingLists, 1);
        if (scalingLists) {
            for (int i = 0; i < 8; ++i) {
                const bool present = i == 0 || i == 6;
                w.Bits(present, 1);
                if (present) {
                    // A list of deltas ending early with next = 0 (use the default).
                    w.SE(-8);
                }
            }
        }
    }
    w.UE(0).UE(pocType);  // log2_max_frame_num_minus4, pic_order_cnt_type
    if (pocType == 0) w.UE(pocLsbMinus4);
    if (pocType == 1) w.Bits(0, 1).SE(-1).SE(2).UE(3).SE(1).SE(-1).SE(300);
    w.UE(1).Bits(0, 1).UE(widthMbsMinus1).UE(heightUnitsMinus1).Bits(frameMbsOnly, 1);
    if (!frameMbsOnly) w.Bits(1, 1);
    w.Bits(1, 1).Bits(0, 1).Bits(0, 1);  // direct_8x8, no cropping, no VUI
    return w.Nal(0x67);
}

}  // namespace

TEST(H264HeaderParser, TestClipSequenceParametersMatchFfprobe) {
    const std::string clip = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";
    const auto units = nalUnits(test::readFile(clip));
    ASSERT_FALSE(units.empty());
    ASSERT_EQ(typeOf(units[0]), 7);
    H264HeaderParser p;
    ASSERT_EQ(parseExact(p, units[0].data(), units[0].size()), 0);
    const H264SeqParams& s = p.SeqParams();
    EXPECT_EQ(s.profile, 66);
    EXPECT_EQ(s.level, 13);
    EXPECT_EQ(s.pic_width, 320u);
    EXPECT_EQ(s.pic_height, 240u);
    EXPECT_EQ(s.display_width, 320u);
    EXPECT_EQ(s.frame_mbs_only_flag, 1);
    EXPECT_EQ(p.SliceHeader().is_slice, 0);
    EXPECT_EQ(p.SliceHeader().nal_unit_type, 7);

    SKIP_WITHOUT_FFMPEG();
    auto info = probe(clip);
    EXPECT_EQ(info["width"], "320");
    EXPECT_EQ(info["height"], "240");
    EXPECT_EQ(info["level"], "13");
    const Trace trace = traceHeaders(clip);
    EXPECT_EQ(s.log2_max_frame_num_minus4, trace.sps.at("log2_max_frame_num_minus4"));
    EXPECT_EQ(s.pic_order_cnt_type, trace.sps.at("pic_order_cnt_type"));
}

TEST(H264HeaderParser, TestClipSliceHeadersMatchTraceHeaders) {
    SKIP_WITHOUT_FFMPEG();
    const std::string clip = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";
    const Trace trace = traceHeaders(clip);
    ASSERT_EQ(trace.slices.size(), 50u);
    H264HeaderParser p;
    size_t slice = 0;
    uint32_t lastFrameNum = 0;
    for (const auto& nal : nalUnits(test::readFile(clip))) {
        const int type = typeOf(nal);
        ASSERT_EQ(parseExact(p, nal.data(), nal.size()), 0) << "type " << type;
        const H264SliceHeader& h = p.SliceHeader();
        if (type == 1 || type == 5) {
            ASSERT_LT(slice, trace.slices.size());
            const Fields& f = trace.slices[slice++];
            EXPECT_EQ(h.is_slice, 1);
            EXPECT_EQ(h.nal_unit_type, type);
            EXPECT_EQ(h.frame_num, f.at("frame_num")) << slice;
            EXPECT_EQ(h.slice_type, f.at("slice_type")) << slice;
            if (type == 5) {
                EXPECT_EQ(h.idr_pic_id, f.at("idr_pic_id"));
            }
            lastFrameNum = h.frame_num;
        } else {
            // Supplemental information and parameter sets: not a slice, and
            // the last frame number stays.
            EXPECT_EQ(h.is_slice, 0);
            EXPECT_EQ(h.nal_unit_type, type);
            EXPECT_EQ(h.frame_num, lastFrameNum);
        }
    }
    EXPECT_EQ(slice, 50u);
}

TEST(H264HeaderParser, GeneratedStreamsMatchFfmpeg) {
    SKIP_WITHOUT_FFMPEG();
    struct Case {
        const char* name;
        const char* size;
        const char* extra;
        uint32_t picWidth, picHeight, displayWidth, displayHeight;
        int profile;
    } cases[] = {
        {"baseline 640x480", "640x480", "-profile:v baseline", 640, 480, 640, 480, 66},
        {"1080p: 68 macroblock rows", "1920x1080", "-profile:v baseline", 1920, 1088, 1920, 1080, 66},
        {"main with B-frames", "352x288", "-profile:v main -bf 2", 352, 288, 352, 288, 77},
        {"high, odd size", "330x250", "-profile:v high", 336, 256, 330, 250, 100},
        {"interlaced: 17 map units", "320x544", "-profile:v main -flags +ildct+ilme -x264-params interlaced=1", 320,
         544, 320, 544, 77},
        {"high 4:4:4", "320x240", "-pix_fmt yuv444p -profile:v high444", 320, 240, 320, 240, 244},
        {"high 4:4:4 cropped", "322x242", "-pix_fmt yuv444p -profile:v high444", 336, 256, 322, 242, 244},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("c.h264");
        ASSERT_TRUE(makeClip(path, c.size, c.extra));
        const Trace trace = traceHeaders(path);
        auto info = probe(path);
        H264HeaderParser p;
        size_t slice = 0;
        for (const auto& nal : nalUnits(test::readFile(path))) {
            const int type = typeOf(nal);
            ASSERT_EQ(parseExact(p, nal.data(), nal.size()), 0) << "type " << type;
            if (type == 7) {
                const H264SeqParams& s = p.SeqParams();
                EXPECT_EQ(s.profile, c.profile);
                EXPECT_EQ(s.pic_width, c.picWidth);
                EXPECT_EQ(s.pic_height, c.picHeight);
                EXPECT_EQ(s.display_width, c.displayWidth);
                EXPECT_EQ(s.display_height, c.displayHeight);
                EXPECT_EQ(std::to_string(s.display_width), info["width"]);
                EXPECT_EQ(std::to_string(s.display_height), info["height"]);
                EXPECT_EQ(std::to_string(s.level), info["level"]);
                EXPECT_EQ(s.frame_mbs_only_flag, trace.sps.at("frame_mbs_only_flag"));
                EXPECT_EQ(s.pic_order_cnt_type, trace.sps.at("pic_order_cnt_type"));
            }
            if (type == 1 || type == 5) {
                ASSERT_LT(slice, trace.slices.size());
                const Fields& f = trace.slices[slice++];
                EXPECT_EQ(p.SliceHeader().frame_num, f.at("frame_num")) << slice;
                EXPECT_EQ(p.SliceHeader().slice_type, f.at("slice_type")) << slice;
                if (f.count("field_pic_flag")) {
                    EXPECT_EQ(p.SliceHeader().field_pic_flag, f.at("field_pic_flag"));
                }
                if (f.count("pic_order_cnt_lsb")) {
                    EXPECT_EQ(p.SliceHeader().pic_order_cnt_lsb, f.at("pic_order_cnt_lsb")) << slice;
                }
            }
        }
        EXPECT_EQ(slice, trace.slices.size());
    }
}

TEST(H264HeaderParser, SyntheticSequenceParameterSets) {
    struct Case {
        const char* name;
        Bytes sps;
        uint32_t width, height;
    } cases[] = {
        {"interlaced, 17 map units", makeSps(77, 30, 19, 16, false), 320, 544},
        {"high with scaling lists", makeSps(100, 40, 39, 29, true, true), 640, 480},
        {"picture order type 1", makeSps(77, 30, 21, 17, true, false, 1), 352, 288},
        // A 30-bit picture order field makes runs of zero bytes that need
        // emulation prevention; the fields after it must still read right.
        {"escaped zeros", makeSps(66, 30, 19, 14, true, false, 0, (1u << 30) - 1), 320, 240},
        // The early 4:4:4 profile carries the chroma fields too.
        {"high 4:4:4 (144)", makeSps(144, 40, 39, 29, true), 640, 480},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        H264HeaderParser p;
        ASSERT_EQ(parseExact(p, c.sps.data(), c.sps.size()), 0);
        EXPECT_EQ(p.SeqParams().pic_width, c.width);
        EXPECT_EQ(p.SeqParams().pic_height, c.height);
    }
    const Bytes& escaped = cases[3].sps;
    const Bytes escape{0, 0, 3};
    EXPECT_NE(std::search(escaped.begin(), escaped.end(), escape.begin(), escape.end()), escaped.end());
    H264HeaderParser p;
    ASSERT_EQ(parseExact(p, escaped.data(), escaped.size()), 0);
    EXPECT_EQ(p.SeqParams().log2_max_pic_order_cnt_lsb_minus4, (1u << 30) - 1);
    ASSERT_EQ(parseExact(p, cases[2].sps.data(), cases[2].sps.size()), 0);
    EXPECT_EQ(p.SeqParams().pic_order_cnt_cycle_length, 3u);
    EXPECT_EQ(p.SeqParams().offset_for_non_ref_pic, -1);
    EXPECT_EQ(p.SeqParams().offset_for_ref_frame[2], 300);
}

TEST(H264HeaderParser, IdrSliceWithFourBitFrameNumber) {
    H264HeaderParser p;
    const Bytes sps = makeSps(66, 30, 19, 14, true, false, 2);
    ASSERT_EQ(parseExact(p, sps.data(), sps.size()), 0);
    BitWriter w;
    w.UE(0).UE(7).UE(0).Bits(0xB, 4).UE(3);  // first_mb, slice_type, pps id, frame_num, idr_pic_id
    const Bytes idr = w.Nal(0x65);
    ASSERT_EQ(parseExact(p, idr.data(), idr.size()), 0);
    EXPECT_EQ(p.SliceHeader().is_slice, 1);
    EXPECT_EQ(p.SliceHeader().nal_unit_type, 5);
    EXPECT_EQ(p.SliceHeader().slice_type, 7u);
    EXPECT_EQ(p.SliceHeader().frame_num, 0xBu);
    EXPECT_EQ(p.SliceHeader().idr_pic_id, 3u);

    const Bytes sei = {0, 0, 1, 0x06, 0x05, 0x01, 0x00, 0x80};
    ASSERT_EQ(parseExact(p, sei.data(), sei.size()), 0);
    EXPECT_EQ(p.SliceHeader().is_slice, 0);
    EXPECT_EQ(p.SliceHeader().nal_unit_type, 6);
    EXPECT_EQ(p.SliceHeader().frame_num, 0xBu);

    p.Reset();
    EXPECT_EQ(p.SliceHeader().frame_num, 0u);
    EXPECT_EQ(p.SeqParams().pic_width, 0u);
}

TEST(H264HeaderParser, TruncatedSequenceParameterSetKeepsTheLastOne) {
    H264HeaderParser p;
    const Bytes good = makeSps(66, 30, 19, 14, true);
    ASSERT_EQ(parseExact(p, good.data(), good.size()), 0);
    const Bytes other = makeSps(100, 40, 79, 44, true);
    // Cut after the level byte: start code, header, profile, flags, level.
    EXPECT_EQ(parseExact(p, other.data(), 4 + 1 + 3), -1);
    EXPECT_EQ(p.SeqParams().profile, 66);
    EXPECT_EQ(p.SeqParams().pic_width, 320u);
    // Every shorter cut fails or reads the same as far as it goes; none reads
    // past its end (the sanitizer build checks).
    for (size_t n = 0; n < other.size(); ++n) {
        H264HeaderParser q;
        const int rc = parseExact(q, other.data(), n);
        if (rc == 0 && q.SliceHeader().nal_unit_type == 7) {
            EXPECT_EQ(q.SeqParams().pic_width, 1280u) << n;
        }
    }
}

TEST(H264HeaderParser, HostileUnitsNeverReadPastTheirEnd) {
    H264HeaderParser p;
    const Bytes sps = makeSps(66, 30, 19, 14, true);
    ASSERT_EQ(parseExact(p, sps.data(), sps.size()), 0);

    // Nothing, a start code alone, a unit without start code.
    EXPECT_EQ(p.Parse(nullptr, 0), -1);
    EXPECT_EQ(parseExact(p, Bytes{0, 0, 1}.data(), 3), -1);
    EXPECT_EQ(parseExact(p, Bytes{0, 0, 0, 1}.data(), 4), -1);
    EXPECT_EQ(parseExact(p, Bytes{0, 0}.data(), 2), 0);  // no start code: a unit of type 0
    EXPECT_EQ(H264HeaderParser::NalType(nullptr, 5), -1);

    // A slice of zero bytes only: exp-Golomb codes longer than 32 bits fail.
    Bytes zeros(600, 0);
    zeros[3] = 1;
    zeros[4] = 0x41;
    EXPECT_EQ(parseExact(p, zeros.data(), zeros.size()), -1);
    EXPECT_EQ(p.SliceHeader().is_slice, 1);
    // A slice header longer than the 512-byte budget is not read beyond it.
    Bytes longSlice(4000, 0);
    longSlice[2] = 1;
    longSlice[3] = 0x41;
    std::fill(longSlice.begin() + 4, longSlice.begin() + 4 + 520, 0x00);
    longSlice[4 + 520] = 0x80;
    EXPECT_EQ(parseExact(p, longSlice.data(), longSlice.size()), -1);

    // A sequence parameter set asking for a 2^31-bit frame number: slices fail.
    BitWriter w;
    w.Bits(66, 8).Bits(0, 8).Bits(30, 8).UE(0).UE(0xFFFFFFF0ull).UE(2).UE(1).Bits(0, 1).UE(19).UE(14).Bits(1, 1);
    const Bytes wide = w.Nal(0x67);
    ASSERT_EQ(parseExact(p, wide.data(), wide.size()), 0);
    const Bytes slice = {0, 0, 0, 1, 0x41, 0x9A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(parseExact(p, slice.data(), slice.size()), -1);

    // Random units of every type and length, and every cut of real units.
    std::mt19937 rng(1234);
    for (int i = 0; i < 3000; ++i) {
        Bytes u(4 + rng() % 40);
        for (auto& b : u) b = static_cast<uint8_t>(rng());
        u[0] = 0, u[1] = 0, u[2] = 0, u[3] = 1;
        H264HeaderParser q;
        if (i % 2) (void)parseExact(q, sps.data(), sps.size());
        (void)parseExact(q, u.data(), u.size());
    }
    const auto units = nalUnits(test::readFile(std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264"));
    for (size_t k = 0; k < 6 && k < units.size(); ++k) {
        for (size_t n = 0; n <= units[k].size() && n < 64; ++n) {
            H264HeaderParser q;
            (void)parseExact(q, units[0].data(), units[0].size());
            (void)parseExact(q, units[k].data(), n);
        }
    }
}

TEST(H264BitReader, ReadsWithinItsBudget) {
    const uint8_t data[] = {0xA5, 0x00, 0x00, 0x03, 0x01, 0xFF};
    H264BitReader r(data, sizeof data, 20);
    uint32_t v = 0;
    EXPECT_TRUE(r.PeekBits(4, v));
    EXPECT_EQ(v, 0xAu);
    EXPECT_TRUE(r.ReadBits(8, v));
    EXPECT_EQ(v, 0xA5u);
    EXPECT_TRUE(r.ReadBits(12, v));  // 00 00 (03 skipped) -> 0x000, budget now spent
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(r.ReadBits(1, v));
    EXPECT_FALSE(r.ReadBits(33, v));

    H264BitReader r2(data, sizeof data, 1000);
    EXPECT_TRUE(r2.ReadBits(8, v));
    EXPECT_TRUE(r2.ReadBits(24, v));  // 00 00 01 after the skipped 03
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(r2.ReadBits(8, v));
    EXPECT_EQ(v, 0xFFu);
    EXPECT_FALSE(r2.ReadBits(1, v));  // the bytes end before the budget

    // se: 1 -> 1, 2 -> -1, 3 -> 2.
    const uint8_t codes[] = {0b01001100, 0b10000000};
    H264BitReader r3(codes, sizeof codes, 16);
    int32_t s = 0;
    EXPECT_TRUE(r3.ReadSE(s));
    EXPECT_EQ(s, 1);
    EXPECT_TRUE(r3.ReadSE(s));
    EXPECT_EQ(s, -1);
    EXPECT_TRUE(r3.ReadSE(s));
    EXPECT_EQ(s, 2);
}
