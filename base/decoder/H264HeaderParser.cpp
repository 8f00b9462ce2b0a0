#include "base/decoder/H264HeaderParser.h"

#include <algorithm>
#include <limits>

#include "base/decoder/H264BitReader.h"

namespace lumora {

namespace {

constexpr uint64_t kMaxSliceHeaderBits = 4096;

// Profiles whose sequence parameter sets carry the chroma format, bit
// depths and scaling matrices.
bool hasChromaInfo(uint32_t profile) {
    switch (profile) {
    case 100: case 110: case 122: case 144: case 244: case 44: case 83: case 86:
    case 118: case 128: case 138: case 139: case 134: case 135:
        return true;
    default:
        return false;
    }
}

bool skipScalingList(H264BitReader& r, int size) {
    int32_t last = 8;
    int32_t next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            int32_t delta = 0;
            if (!r.ReadSE(delta)) return false;
            next = static_cast<int32_t>(((int64_t{last} + delta) % 256 + 256) % 256);
        }
        if (next != 0) last = next;
    }
    return true;
}

}  // namespace

void H264HeaderParser::Reset() {
    fSliceHeader = H264SliceHeader{};
    fSeqParams = H264SeqParams{};
}

size_t H264HeaderParser::StartCodeLength(const uint8_t* nal, size_t n) {
    if (!nal) return 0;
    if (n >= 4 && nal[0] == 0 && nal[1] == 0 && nal[2] == 0 && nal[3] == 1) return 4;
    if (n >= 3 && nal[0] == 0 && nal[1] == 0 && nal[2] == 1) return 3;
    return 0;
}

int H264HeaderParser::NalType(const uint8_t* nal, size_t n) {
    const size_t sc = StartCodeLength(nal, n);
    if (!nal || n <= sc) return -1;
    return nal[sc] & 0x1F;
}

int H264HeaderParser::Parse(const uint8_t* nal, size_t n) {
    const int type = NalType(nal, n);
    if (type < 0) return -1;
    const size_t payload = StartCodeLength(nal, n) + 1;
    const uint8_t* body = nal + payload;
    const size_t bodySize = n - payload;

    if (type >= 1 && type <= 5) {
        fSliceHeader.is_slice = 1;
        fSliceHeader.nal_unit_type = static_cast<uint8_t>(type);
        H264BitReader r(body, bodySize, std::min<uint64_t>(uint64_t{bodySize} * 8, kMaxSliceHeaderBits));
        return ReadSliceHeader(r) ? 0 : -1;
    }
    if (type == 7) {
        H264BitReader r(body, bodySize, uint64_t{bodySize} * 8);
        H264SeqParams sps;
        // A set that does not read whole leaves the one kept before.
        if (!ReadSeqParams(r, sps)) return -1;
        fSeqParams = sps;
    }
    fSliceHeader.is_slice = 0;
    fSliceHeader.nal_unit_type = static_cast<uint8_t>(type);
    return 0;
}

bool H264HeaderParser::ReadSeqParams(H264BitReader& r, H264SeqParams& s) {
    uint32_t v = 0;
    bool flag = false;
    if (!r.ReadBits(8, v)) return false;
    s.profile = static_cast<uint8_t>(v);
    if (!r.Skip(8) || !r.ReadBits(8, v)) return false;  // constraint flags, level
    s.level = static_cast<uint8_t>(v);
    if (!r.ReadUE(v)) return false;  // seq_parameter_set_id

    uint32_t chromaFormat = 1;  // 4:2:0 unless the profile says otherwise
    bool separateColourPlanes = false;
    if (hasChromaInfo(s.profile)) {
        if (!r.ReadUE(s.chroma_format_idc)) return false;
        chromaFormat = s.chroma_format_idc;
        if (s.chroma_format_idc == 3) {
            if (!r.ReadFlag(flag)) return false;
            s.residual_colour_transform_flag = flag;
            separateColourPlanes = flag;
        }
        if (!r.ReadUE(s.bit_depth_luma_minus8) || !r.ReadUE(s.bit_depth_chroma_minus8)) return false;
        if (!r.ReadFlag(flag)) return false;
        s.qpprime_y_zero_transform_bypass_flag = flag;
        if (!r.ReadFlag(flag)) return false;
        s.seq_scaling_matrix_present_flag = flag;
        if (flag) {
            const int lists = s.chroma_format_idc == 3 ? 12 : 8;
            for (int i = 0; i < lists; ++i) {
                bool present = false;
                if (!r.ReadFlag(present)) return false;
                if (present && !skipScalingList(r, i < 6 ? 16 : 64)) return false;
            }
        }
    }

    if (!r.ReadUE(s.log2_max_frame_num_minus4) || !r.ReadUE(s.pic_order_cnt_type)) return false;
    if (s.pic_order_cnt_type == 0) {
        if (!r.ReadUE(s.log2_max_pic_order_cnt_lsb_minus4)) return false;
    } else if (s.pic_order_cnt_type == 1) {
        if (!r.ReadFlag(flag)) return false;
        s.delta_pic_order_always_zero_flag = flag;
        if (!r.ReadSE(s.offset_for_non_ref_pic) || !r.ReadSE(s.offset_for_top_to_bottom_field)) return false;
        if (!r.ReadUE(s.pic_order_cnt_cycle_length)) return false;
        // Every code takes at least one bit, so the budget bounds this loop.
        for (uint32_t i = 0; i < s.pic_order_cnt_cycle_length; ++i) {
            int32_t offset = 0;
            if (!r.ReadSE(offset)) return false;
            s.offset_for_ref_frame[std::min<uint32_t>(i, 255)] = static_cast<int16_t>(
                std::clamp<int32_t>(offset, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
        }
    }

    if (!r.ReadUE(v) || !r.Skip(1)) return false;  // num_ref_frames, gaps_in_frame_num_value_allowed_flag
    uint32_t widthMbs = 0;
    uint32_t heightUnits = 0;
    if (!r.ReadUE(widthMbs) || !r.ReadUE(heightUnits) || !r.ReadFlag(flag)) return false;
    s.frame_mbs_only_flag = flag;
    const uint64_t width = (uint64_t{widthMbs} + 1) * 16;
    const uint64_t height = (2 - uint64_t{s.frame_mbs_only_flag}) * (uint64_t{heightUnits} + 1) * 16;
    if (width > std::numeric_limits<uint32_t>::max() || height > std::numeric_limits<uint32_t>::max()) return false;
    s.pic_width = static_cast<uint32_t>(width);
    s.pic_height = static_cast<uint32_t>(height);
    s.display_width = s.pic_width;
    s.display_height = s.pic_height;

    // Frame cropping, when the set holds it: a set cut short here still
    // gives its coded size.
    if (!s.frame_mbs_only_flag && !r.Skip(1)) return true;  // mb_adaptive_frame_field_flag
    bool cropping = false;
    if (!r.Skip(1) || !r.ReadFlag(cropping) || !cropping) return true;  // direct_8x8_inference_flag
    uint32_t crop[4] = {0, 0, 0, 0};
    for (auto& c : crop) {
        if (!r.ReadUE(c)) return true;
    }
    const bool monochromeUnits = chromaFormat == 0 || separateColourPlanes;
    const uint64_t unitX = monochromeUnits || chromaFormat == 3 ? 1 : 2;
    const uint64_t unitY = (monochromeUnits || chromaFormat != 1 ? 1 : 2) * (2 - uint64_t{s.frame_mbs_only_flag});
    const uint64_t cropX = (uint64_t{crop[0]} + crop[1]) * unitX;
    const uint64_t cropY = (uint64_t{crop[2]} + crop[3]) * unitY;
    if (cropX >= s.pic_width || cropY >= s.pic_height) return true;  // nonsense: keep the coded size
    s.crop_left = static_cast<uint32_t>(crop[0] * unitX);
    s.crop_right = static_cast<uint32_t>(crop[1] * unitX);
    s.crop_top = static_cast<uint32_t>(crop[2] * unitY);
    s.crop_bottom = static_cast<uint32_t>(crop[3] * unitY);
    s.display_width = static_cast<uint32_t>(s.pic_width - cropX);
    s.display_height = static_cast<uint32_t>(s.pic_height - cropY);
    return true;
}

bool H264HeaderParser::ReadSliceHeader(H264BitReader& r) {
    H264SliceHeader& h = fSliceHeader;
    const H264SeqParams& s = fSeqParams;
    h.field_pic_flag = 0;
    h.bottom_field_flag = 0;
    h.delta_pic_order_cnt[0] = 0;
    h.delta_pic_order_cnt[1] = 0;

    uint32_t v = 0;
    bool flag = false;
    if (!r.ReadUE(v)) return false;  // first_mb_in_slice
    if (!r.ReadUE(h.slice_type)) return false;
    if (!r.ReadUE(v)) return false;  // pic_parameter_set_id
    const uint64_t frameNumBits = uint64_t{s.log2_max_frame_num_minus4} + 4;
    if (frameNumBits > 32 || !r.ReadBits(static_cast<uint32_t>(frameNumBits), h.frame_num)) return false;
    if (!s.frame_mbs_only_flag) {
        if (!r.ReadFlag(flag)) return false;
        h.field_pic_flag = flag;
        if (flag) {
            if (!r.ReadFlag(flag)) return false;
            h.bottom_field_flag = flag;
        }
    }
    if (h.nal_unit_type == 5 && !r.ReadUE(h.idr_pic_id)) return false;
    const bool frame = !h.field_pic_flag;
    if (s.pic_order_cnt_type == 0) {
        const uint64_t lsbBits = uint64_t{s.log2_max_pic_order_cnt_lsb_minus4} + 4;
        if (lsbBits > 32 || !r.ReadBits(static_cast<uint32_t>(lsbBits), h.pic_order_cnt_lsb)) return false;
        if (s.pic_order_present_flag && frame && !r.ReadSE(h.delta_pic_order_cnt_bottom)) return false;
    } else if (s.pic_order_cnt_type == 1) {
        if (!s.delta_pic_order_always_zero_flag && !r.ReadSE(h.delta_pic_order_cnt[0])) return false;
        if (s.pic_order_present_flag && frame && !r.ReadSE(h.delta_pic_order_cnt[1])) return false;
    }
    return true;
}

}  // namespace lumora
