#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora {

class H264BitReader;

// What the parser keeps of the last slice header it read.
struct H264SliceHeader {
    uint8_t is_slice = 0;
    uint8_t nal_unit_type = 0;
    uint32_t slice_type = 0;
    uint8_t field_pic_flag = 0;
    uint8_t bottom_field_flag = 0;
    uint32_t frame_num = 0;
    uint32_t idr_pic_id = 0;
    uint32_t pic_order_cnt_lsb = 0;
    int32_t delta_pic_order_cnt_bottom = 0;
    int32_t delta_pic_order_cnt[2] = {0, 0};
};

// What the parser keeps of the last sequence parameter set it read.
struct H264SeqParams {
    uint8_t profile = 0;
    uint8_t level = 0;
    uint32_t chroma_format_idc = 0;
    uint8_t residual_colour_transform_flag = 0;
    uint32_t bit_depth_luma_minus8 = 0;
    uint32_t bit_depth_chroma_minus8 = 0;
    uint8_t qpprime_y_zero_transform_bypass_flag = 0;
    uint8_t seq_scaling_matrix_present_flag = 0;
    uint32_t log2_max_frame_num_minus4 = 0;
    uint32_t log2_max_pic_order_cnt_lsb_minus4 = 0;
    uint32_t pic_order_cnt_type = 0;
    // Belongs to the picture parameter set, which is not read: stays 0.
    uint8_t pic_order_present_flag = 0;
    uint8_t delta_pic_order_always_zero_flag = 0;
    int32_t offset_for_non_ref_pic = 0;
    int32_t offset_for_top_to_bottom_field = 0;
    uint32_t pic_order_cnt_cycle_length = 0;
    int16_t offset_for_ref_frame[256] = {};
    // Coded size in whole macroblocks (pixels).
    uint32_t pic_width = 0;
    uint32_t pic_height = 0;
    uint8_t frame_mbs_only_flag = 0;
    // Frame cropping, in pixels (0 when absent or not readable), and the
    // picture size a viewer sees: the coded size less the cropping.
    uint32_t crop_left = 0;
    uint32_t crop_right = 0;
    uint32_t crop_top = 0;
    uint32_t crop_bottom = 0;
    uint32_t display_width = 0;
    uint32_t display_height = 0;
};

// Reads just enough of H.264 NAL units for recording: profile, level and
// picture size from a sequence parameter set, and the slice flag and frame
// number of slice headers, by which a recorder sees where a picture ends.
// NAL units come with their Annex B start code (00 00 01 or 00 00 00 01).
// No read ever goes past the n bytes given.
class H264HeaderParser {
public:
    H264HeaderParser() = default;
    virtual ~H264HeaderParser() = default;

    // Forgets the last slice header and sequence parameter set.
    void Reset();

    // Length of the start code nal begins with: 4, 3, or 0 when there is none.
    static size_t StartCodeLength(const uint8_t* nal, size_t n);
    // The NAL unit type (low 5 bits of the byte after the start code); -1
    // when there is no such byte.
    static int NalType(const uint8_t* nal, size_t n);

    // n counts the start code. 0, or -1 when the unit runs out of bits or a
    // value is out of range. Slices (types 1 to 5) set is_slice and
    // nal_unit_type, then read the header; a sequence parameter set (7)
    // replaces the kept one only when it reads whole; every other type
    // clears is_slice and keeps the other slice fields.
    int Parse(const uint8_t* nal, size_t n);

    const H264SliceHeader& SliceHeader() const { return fSliceHeader; }
    const H264SeqParams& SeqParams() const { return fSeqParams; }

private:
    static bool ReadSeqParams(H264BitReader& r, H264SeqParams& sps);
    bool ReadSliceHeader(H264BitReader& r);

    H264SliceHeader fSliceHeader;
    H264SeqParams fSeqParams;
};

}  // namespace lumora
