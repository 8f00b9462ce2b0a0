#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4Writer.h"
#include "support/H264Clip.h"
#include "support/Mp4BoxReader.h"
#include "support/TempDir.h"

using namespace lumora;
using Bytes = std::vector<uint8_t>;

#define SKIP_WITHOUT_FFMPEG() \
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is missing (scripts/install-deps installs it)"

namespace {

const std::string kClip = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";

// Hands every access unit of units to the writer, NAL unit by NAL unit, the
// last of each with endOfFrame.
void writeUnits(Mp4Writer& w, const std::vector<test::AccessUnit>& units) {
    for (const auto& u : units) {
        const auto nals = test::annexBUnits(u.bytes);
        for (size_t k = 0; k < nals.size(); ++k) {
            const int rc = w.WriteVideoSample(nals[k].data(), nals[k].size(), 0, u.key, k + 1 == nals.size());
            ASSERT_GE(rc, 0);
        }
    }
}

// Records an Annex B stream into path; the stream's access units are its frames.
void record(const std::string& path, const std::vector<test::AccessUnit>& units, uint16_t width = 320,
            uint16_t height = 240, int64_t duration = 40) {
    Mp4Writer w;
    ASSERT_EQ(w.Open(path.c_str()), 0);
    ASSERT_EQ(w.AddVideoTrack(1000, duration, width, height), 1);
    ASSERT_EQ(w.WriteHeader(), 0);
    writeUnits(w, units);
    ASSERT_EQ(w.Finish(), 0);
    ASSERT_EQ(w.Close(), 0);
}

uint32_t boxValue(const Bytes& b, const std::string& path, size_t offsetInPayload) {
    auto box = test::mp4Find(b, path);
    return box ? test::be32(b, box->payload + offsetInPayload) : 0xDEADBEEF;
}

}  // namespace

TEST(Mp4Writer, TestClipBecomesAPlayableFileWithTheSamePictures) {
    test::TempDir dir;
    const std::string path = dir.file("clip.mp4");
    const Bytes clip = test::readFile(kClip);
    const auto units = test::splitAccessUnits(clip);
    ASSERT_EQ(units.size(), 50u);
    record(path, units);
    const Bytes b = test::readFile(path);

    // ftyp, then mdat, then moov.
    const auto top = test::mp4Boxes(b, 0, b.size());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].type, "ftyp");
    EXPECT_EQ(top[1].type, "mdat");
    EXPECT_EQ(top[2].type, "moov");
    EXPECT_EQ(top[2].offset + top[2].size, b.size());
    const Bytes ftyp{0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'm', 'p', '4', '2', 0, 0, 0, 0,
                     'm', 'p', '4', '2', 'i', 's', 'o', 'm'};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 24), ftyp);

    // The parameter sets sit in avcC only; samples hold the rest.
    const auto nals = test::annexBUnits(clip);
    const Bytes sps = test::nalBody(nals[0]);
    const Bytes pps = test::nalBody(nals[1]);
    ASSERT_EQ(sps[0] & 0x1F, 7);
    ASSERT_EQ(pps[0] & 0x1F, 8);
    auto avcC = test::mp4Find(b, "moov.trak.mdia.minf.stbl.stsd.avc1.avcC");
    ASSERT_TRUE(avcC);
    Bytes expectAvcC{1, sps[1], sps[2], sps[3], 0xFF, 0xE1, 0, uint8_t(sps.size())};
    expectAvcC.insert(expectAvcC.end(), sps.begin(), sps.end());
    expectAvcC.insert(expectAvcC.end(), {1, 0, uint8_t(pps.size())});
    expectAvcC.insert(expectAvcC.end(), pps.begin(), pps.end());
    EXPECT_EQ(Bytes(b.begin() + long(avcC->payload), b.begin() + long(avcC->offset + avcC->size)), expectAvcC);

    const auto samples = test::mp4Samples(b);
    ASSERT_EQ(samples.size(), 50u);
    for (size_t i = 0; i < samples.size(); ++i) {
        Bytes expect;
        for (const auto& nal : test::annexBUnits(units[i].bytes)) {
            const Bytes body = test::nalBody(nal);
            if ((body[0] & 0x1F) == 7 || (body[0] & 0x1F) == 8) continue;
            expect.insert(expect.end(), {0, 0, 0, 1});
            expect.insert(expect.end(), body.begin(), body.end());
        }
        EXPECT_EQ(test::mp4SampleToAnnexB(samples[i]), expect) << "sample " << i;
    }

    // Tables: 2 chunks of 25 inside mdat, 40 ms per sample, key frames 1 and 26.
    const auto t = test::mp4ReadTables(b);
    EXPECT_EQ(t.stts, (std::vector<std::vector<uint32_t>>{{50, 40}}));
    EXPECT_EQ(t.stsc, (std::vector<std::vector<uint32_t>>{{1, 25, 1}}));
    EXPECT_EQ(t.sync, (std::vector<uint32_t>{1, 26}));
    ASSERT_EQ(t.offsets.size(), 2u);
    EXPECT_EQ(t.offsets[0], top[1].payload);
    const uint64_t chunkBytes = std::accumulate(t.sizes.begin(), t.sizes.end(), uint64_t{0});
    EXPECT_EQ(top[1].size, 8 + chunkBytes);
    EXPECT_EQ(boxValue(b, "moov.mvhd", 16), 2000u);                // duration
    EXPECT_EQ(boxValue(b, "moov.mvhd", 96), 2u);                   // nextTrackId
    EXPECT_EQ(boxValue(b, "moov.trak.tkhd", 12), 1u);              // track id
    EXPECT_EQ(boxValue(b, "moov.trak.tkhd", 20), 2000u);           // duration in ms
    EXPECT_EQ(boxValue(b, "moov.trak.tkhd", 76), 320u << 16);      // width 16.16
    EXPECT_EQ(boxValue(b, "moov.trak.mdia.mdhd", 12), 1000u);      // time scale
    EXPECT_EQ(boxValue(b, "moov.trak.mdia.mdhd", 16), 2000u);      // duration
    EXPECT_EQ(boxValue(b, "moov.trak.mdia.hdlr", 8), 0x76696465u); // "vide"
    EXPECT_EQ(boxValue(b, "moov.trak.mdia.minf.vmhd", 0), 1u);     // flags 1
    const uint32_t created = boxValue(b, "moov.mvhd", 4);
    const int64_t unixCreated = int64_t(created) - 2082844800;
    EXPECT_LT(std::llabs(unixCreated - int64_t(time(nullptr))), 600);

    SKIP_WITHOUT_FFMPEG();
    auto info = test::ffprobe(path);
    EXPECT_EQ(info["error"], "");
    EXPECT_EQ(info["nb_streams"], "1");
    EXPECT_EQ(info["codec_name"], "h264");
    EXPECT_EQ(info["codec_type"], "video");
    EXPECT_EQ(info["width"], "320");
    EXPECT_EQ(info["height"], "240");
    EXPECT_EQ(info["nb_frames"], "50");
    EXPECT_EQ(info["nb_read_frames"], "50");
    EXPECT_EQ(info["duration"], "2.000000");
    EXPECT_EQ(info["format.duration"], "2.000000");
    EXPECT_EQ(test::referenceMd5(path), test::referenceMd5(kClip));
}

TEST(Mp4Writer, HundredFramesAndALaterSequenceParameterSet) {
    test::TempDir dir;
    const std::string path = dir.file("twice.mp4");
    auto units = test::splitAccessUnits(test::readFile(kClip));
    const auto again = units;
    units.insert(units.end(), again.begin(), again.end());  // the second half repeats SPS and PPS
    record(path, units);
    const Bytes b = test::readFile(path);
    const auto t = test::mp4ReadTables(b);
    EXPECT_EQ(t.stts, (std::vector<std::vector<uint32_t>>{{100, 40}}));
    EXPECT_EQ(t.offsets.size(), 4u);
    EXPECT_EQ(t.sync, (std::vector<uint32_t>{1, 26, 51, 76}));
    EXPECT_EQ(boxValue(b, "moov.mvhd", 16), 4000u);
    EXPECT_EQ(boxValue(b, "moov.trak.mdia.mdhd", 16), 4000u);
    auto avcC = test::mp4Find(b, "moov.trak.mdia.minf.stbl.stsd.avc1.avcC");
    ASSERT_TRUE(avcC);
    EXPECT_EQ(b[avcC->payload + 5], 0xE1);  // one SPS
    for (const auto& s : test::mp4Samples(b)) {
        for (const auto& nal : test::annexBUnits(test::mp4SampleToAnnexB(s))) {
            const int type = nal[4] & 0x1F;
            EXPECT_NE(type, 7);
            EXPECT_NE(type, 8);
        }
    }
    SKIP_WITHOUT_FFMPEG();
    auto info = test::ffprobe(path);
    EXPECT_EQ(info["nb_read_frames"], "100");
    EXPECT_EQ(info["duration"], "4.000000");
    EXPECT_EQ(info["format.duration"], "4.000000");
    auto ref = test::referenceMd5(kClip);
    const auto once = ref;
    ref.insert(ref.end(), once.begin(), once.end());
    EXPECT_EQ(test::referenceMd5(path), ref);
}

TEST(Mp4Writer, SampleEntrySizeComesFromTheSequenceParameterSet) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    struct Case {
        const char* size;
        uint32_t width, height;
    } cases[] = {{"1280x720", 1280, 720}, {"1920x1080", 1920, 1080}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string clip = dir.file("c.h264");
        const std::string cmd = std::string("ffmpeg -v error -y -f lavfi -i testsrc2=size=") + c.size +
                                ":rate=25 -frames:v 3 -c:v libx264 -preset ultrafast -threads 1 -f h264 '" + clip + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const std::string path = dir.file("c.mp4");
        // The track is announced with another size, or none yet (a recording
        // started before the stream format said it).
        for (uint16_t announced : {uint16_t(320), uint16_t(0)}) {
            record(path, test::splitAccessUnits(test::readFile(clip)), announced, announced * 3 / 4);
            const Bytes b = test::readFile(path);
            auto avc1 = test::mp4Find(b, "moov.trak.mdia.minf.stbl.stsd.avc1");
            ASSERT_TRUE(avc1);
            EXPECT_EQ(test::be16(b, avc1->payload + 24), c.width);
            EXPECT_EQ(test::be16(b, avc1->payload + 26), c.height);
            // The track header's presentation size (16.16) follows the picture too.
            EXPECT_EQ(boxValue(b, "moov.trak.tkhd", 76), c.width << 16) << announced;
            EXPECT_EQ(boxValue(b, "moov.trak.tkhd", 80), c.height << 16) << announced;
        }
        auto info = test::ffprobe(path);
        EXPECT_EQ(info["width"], std::to_string(c.width));
        EXPECT_EQ(info["height"], std::to_string(c.height));
        EXPECT_EQ(info["nb_read_frames"], "3");
    }
}

TEST(Mp4Writer, AFrameAboveAMegabyteIsSplitBeforeItsEnd) {
    test::TempDir dir;
    const std::string path = dir.file("big.mp4");
    Mp4Writer w;
    ASSERT_EQ(w.Open(path.c_str()), 0);
    w.AddVideoTrack(1000, 40, 320, 240);
    ASSERT_EQ(w.WriteHeader(), 0);
    Bytes slice(300000, 0x11);
    slice[0] = slice[1] = slice[2] = 0;
    slice[3] = 1;
    slice[4] = 0x41;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.WriteVideoSample(slice.data(), slice.size(), 0, false, i == 4), int(slice.size() - 4));
    }
    ASSERT_EQ(w.Finish(), 0);
    ASSERT_EQ(w.Close(), 0);
    const auto t = test::mp4ReadTables(test::readFile(path));
    EXPECT_EQ(t.sizes, (std::vector<uint32_t>{4 * 300000, 300000}));
    EXPECT_EQ(t.sync, (std::vector<uint32_t>{1}));  // the first sample of a file is a sync sample
}

TEST(Mp4Writer, ParameterSetsAndOddUnits) {
    test::TempDir dir;
    Mp4Writer w;
    const Bytes sps{0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xBF, 0xE5};
    EXPECT_EQ(w.WriteVideoSample(sps.data(), sps.size(), 0, true, false), 0);  // no track yet
    ASSERT_EQ(w.Open(dir.file("x.mp4").c_str()), 0);
    w.AddVideoTrack(1000, 40, 640, 480);
    ASSERT_EQ(w.WriteHeader(), 0);
    EXPECT_EQ(w.WriteVideoSample(sps.data(), sps.size(), 0, true, false), int(sps.size()));
    EXPECT_EQ(w.WriteVideoSample(sps.data(), sps.size(), 0, true, false), int(sps.size()));  // skipped
    const Bytes pps{0, 0, 1, 0x68, 0xCE, 0x38, 0x80};
    EXPECT_EQ(w.WriteVideoSample(pps.data(), pps.size(), 0, true, false), int(pps.size()));
    EXPECT_EQ(w.WriteVideoSample(nullptr, 5, 0, false, false), 0);
    EXPECT_EQ(w.WriteVideoSample(pps.data(), 3, 0, false, false), 0);  // a start code alone
    const Bytes bare{0x65, 0x88, 0x84};                                 // no start code: taken whole
    EXPECT_EQ(w.WriteVideoSample(bare.data(), bare.size(), 0, true, false), 3);
    // Left open: Finish still writes it.
    ASSERT_EQ(w.Finish(), 0);
    Mp4Atom* avcC = w.GetVideoTrack()->GetTrak()->FindAtom("mdia.minf.stbl.stsd.avc1.avcC");
    EXPECT_EQ(avcC->FindProperty("numOfSequenceParameterSets")->GetValue(), 1);
    EXPECT_EQ(avcC->FindProperty("numOfPictureParameterSets")->GetValue(), 1);
    EXPECT_EQ(avcC->FindProperty("AVCProfileIndication")->GetValue(), 0x42);
    EXPECT_EQ(avcC->FindProperty("profile_compatibility")->GetValue(), 0xC0);
    EXPECT_EQ(avcC->FindProperty("AVCLevelIndication")->GetValue(), 0x1E);
    ASSERT_EQ(w.Close(), 0);
    const auto t = test::mp4ReadTables(test::readFile(dir.file("x.mp4")));
    EXPECT_EQ(t.sizes, (std::vector<uint32_t>{7}));
}

TEST(Mp4Writer, RefusesOutOfOrderUse) {
    test::TempDir dir;
    Mp4Writer w;
    EXPECT_EQ(w.WriteHeader(), mp4err::kNotOpen);
    EXPECT_EQ(w.AddVideoTrack(1000, 40, 320, 240), mp4err::kNotOpen);
    EXPECT_EQ(w.Finish(), mp4err::kFailed);
    EXPECT_EQ(w.Close(), 0);
    EXPECT_EQ(w.Open(dir.file("no/such/folder.mp4").c_str()), mp4err::kOpenFailed);
    EXPECT_FALSE(w.IsOpen());
    ASSERT_EQ(w.Open(dir.file("a.mp4").c_str()), 0);
    EXPECT_EQ(w.Open(dir.file("b.mp4").c_str()), mp4err::kAlreadyOpen);
    ASSERT_EQ(w.AddVideoTrack(1000, 40, 320, 240), 1);
    Bytes huge(Mp4Writer::kMaxNalSize + 1, 0);
    huge[3] = 1;
    huge[4] = 0x41;
    EXPECT_EQ(w.WriteVideoSample(huge.data(), huge.size(), 0, false, true), mp4err::kFailed);
    // Dropped without Finish or Close: the destructor lets everything go.
}

TEST(Mp4Writer, AFullDiskIsReportedAndWaitsForAKeyFrame) {
    Mp4Writer w;
    ASSERT_EQ(w.Open("/dev/full"), 0);
    w.AddVideoTrack(1000, 40, 320, 240);
    (void)w.WriteHeader();  // small: buffered
    Bytes slice(64 * 1024, 0x22);
    slice[3] = 1;
    slice[0] = slice[1] = slice[2] = 0;
    slice[4] = 0x65;
    int failed = 0;
    for (int i = 0; i < 25; ++i) {
        const int rc = w.WriteVideoSample(slice.data(), slice.size(), 0, i == 0, true);
        if (rc < 0) failed = rc;
    }
    EXPECT_EQ(failed, mp4err::kShortWrite);
    // Pictures after the lost chunk would refer to lost ones: skipped until a key frame.
    slice[4] = 0x41;
    EXPECT_EQ(w.WriteVideoSample(slice.data(), slice.size(), 0, false, true), 0);
    slice[4] = 0x65;
    EXPECT_EQ(w.WriteVideoSample(slice.data(), slice.size(), 0, true, true), int(slice.size() - 4));
    EXPECT_NE(w.Finish(), 0);
    EXPECT_EQ(w.Close(), mp4err::kShortWrite);
}

// A stream with B-frames is stored in decode order; the composition offsets
// put every picture at its own time, one frame apart in the order shown. A
// stream without reordering gets no offsets at all.
TEST(Mp4Writer, PicturesShownOutOfDecodeOrderKeepTheirTimes) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    for (bool bFrames : {true, false}) {
        SCOPED_TRACE(bFrames ? "with B-frames" : "without B-frames");
        const std::string clip = dir.file("b.h264");
        ASSERT_TRUE(test::makeClip(clip, test::ClipOptions(320, 240, 30, 10, bFrames)));
        const std::string path = dir.file("b.mp4");
        record(path, test::splitAccessUnits(test::readFile(clip)));
        const Bytes b = test::readFile(path);
        EXPECT_EQ(bool(test::mp4Find(b, "moov.trak.mdia.minf.stbl.ctts")), bFrames);
        const auto times = test::ffprobeFrameTimes(path);
        ASSERT_EQ(times.size(), 30u);
        for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 40) << "picture " << i;
        EXPECT_EQ(test::referenceMd5(path), test::referenceMd5(clip));
        EXPECT_EQ(test::ffprobe(path)["error"], "");
    }
}
