#include <gtest/gtest.h>

#include "base/decoder/Mp4Atom.h"
#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "base/decoder/Mp4Track.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kStbl = "mdia.minf.stbl.";

// A video "trak" as the writer makes it, a track on it and an open file.
class TrackFixture : public ::testing::Test {
protected:
    void SetUp() override { Make("avc1", 1000); }
    void TearDown() override {
        track->Close();
        root->Clear();
    }

    void Make(const char* entry, uint32_t timeScale) {
        root = new Mp4Atom("root");
        root->CreateChildren();
        Mp4Atom* trak = root->AddChild("moov.trak", -1);
        trak->AddChild("mdia.minf.stbl.stss", -1);
        trak->AddChild(std::string("mdia.minf.stbl.stsd.") + entry, -1);
        track = new Mp4Track();
        track->Attach(trak);
        track->SetTimeScale(timeScale);
        ASSERT_EQ(file->Open(path.c_str(), "wb"), 0);
    }

    std::vector<uint32_t> Column(const std::string& box, const char* name) {
        std::vector<uint32_t> v;
        Mp4ArrayProperty* c = track->GetTrak()->FindColumn(kStbl + box + ".entries", name);
        for (int32_t i = 0; c && i < c->Count(); ++i) v.push_back(c->GetItem(i));
        return v;
    }
    int64_t Value(const std::string& path) { return track->GetTrak()->FindProperty(path)->GetValue(); }

    // Writes n samples of `size` bytes (byte value = sample number), each of `duration`.
    void WriteSamples(int n, size_t size = 10, int64_t duration = 40, int firstNumber = 1) {
        for (int i = 0; i < n; ++i) {
            Bytes s(size, static_cast<uint8_t>(firstNumber + i));
            ASSERT_EQ(track->WriteSample(file.get(), s.data(), s.size(), duration, false), 0) << i;
        }
    }

    test::TempDir dir;
    std::string path = dir.file("track.bin");
    SmartPtr<Mp4File> file{new Mp4File()};
    SmartPtr<Mp4Atom> root;
    SmartPtr<Mp4Track> track;
};

}  // namespace

TEST_F(TrackFixture, SixtySamplesMakeChunksOf25And10) {
    WriteSamples(60);
    EXPECT_EQ(track->ChunkCount(), 2u);
    ASSERT_EQ(track->Finish(file.get()), 0);
    ASSERT_EQ(file->Close(), 0);

    EXPECT_EQ(Column("stco", "chunkOffset"), (std::vector<uint32_t>{0, 250, 500}));
    EXPECT_EQ(Column("stsc", "firstChunk"), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(Column("stsc", "samplesPerChunk"), (std::vector<uint32_t>{25, 10}));
    EXPECT_EQ(Column("stsc", "sampleDescriptionIndex"), (std::vector<uint32_t>{1, 1}));
    EXPECT_EQ(Column("stts", "sampleCount"), (std::vector<uint32_t>{60}));
    EXPECT_EQ(Column("stts", "sampleDelta"), (std::vector<uint32_t>{40}));
    EXPECT_EQ(Column("stsz", "sampleSize"), std::vector<uint32_t>(60, 10));
    EXPECT_EQ(Value(kStbl + "stsz.entryCount"), 60);
    EXPECT_EQ(Value(kStbl + "stco.entryCount"), 3);
    EXPECT_EQ(Value(kStbl + "stsc.entryCount"), 2);
    EXPECT_EQ(Value(kStbl + "stts.entryCount"), 1);
    EXPECT_EQ(Value(kStbl + "stss.entryCount"), 0);
    EXPECT_EQ(track->GetDuration(), 2400u);
    EXPECT_EQ(Value("tkhd.duration"), 2400);

    const Bytes b = test::readFile(path);
    ASSERT_EQ(b.size(), 600u);
    for (size_t i = 0; i < b.size(); ++i) ASSERT_EQ(b[i], i / 10 + 1) << i;
}

TEST_F(TrackFixture, TwentyFiveSamplesAreWrittenAtTheLastOne) {
    WriteSamples(25);
    EXPECT_EQ(track->ChunkCount(), 1u);
    EXPECT_EQ(track->Finish(file.get()), 0);  // nothing pending: its chunk write fails quietly
    EXPECT_EQ(Column("stco", "chunkOffset").size(), 1u);
    EXPECT_EQ(Column("stsc", "samplesPerChunk"), (std::vector<uint32_t>{25}));
}

TEST_F(TrackFixture, TheLastSampleKeepsItsDuration) {
    WriteSamples(1);
    ASSERT_EQ(track->Finish(file.get()), 0);
    EXPECT_EQ(Column("stts", "sampleCount"), (std::vector<uint32_t>{1}));
    EXPECT_EQ(Column("stts", "sampleDelta"), (std::vector<uint32_t>{40}));
    EXPECT_EQ(Value(kStbl + "stsz.entryCount"), 1);
    EXPECT_EQ(track->GetDuration(), 40u);
}

TEST_F(TrackFixture, SyncSamplesAreNumberedFromOne) {
    Bytes s(5, 0);
    for (int i = 1; i <= 30; ++i) {
        ASSERT_EQ(track->WriteSample(file.get(), s.data(), s.size(), 40, i == 1 || i == 26), 0);
    }
    ASSERT_EQ(track->Finish(file.get()), 0);
    EXPECT_EQ(Column("stss", "sampleNumber"), (std::vector<uint32_t>{1, 26}));
    EXPECT_EQ(Value(kStbl + "stss.entryCount"), 2);
}

TEST_F(TrackFixture, DurationsInOtherTimeScales) {
    track->SetTimeScale(90000);
    WriteSamples(10, 4, 3600);
    ASSERT_EQ(track->Finish(file.get()), 0);
    EXPECT_EQ(track->GetDuration(), 36000u);
    EXPECT_EQ(Value("tkhd.duration"), 400);  // milliseconds
    EXPECT_EQ(Column("stts", "sampleDelta"), (std::vector<uint32_t>{3600}));
}

TEST_F(TrackFixture, RefusesMissingInput) {
    const uint8_t b[1] = {1};
    EXPECT_EQ(track->WriteSample(nullptr, b, 1, 40, false), mp4err::kFailed);
    EXPECT_EQ(track->WriteSample(file.get(), nullptr, 1, 40, false), mp4err::kFailed);
    EXPECT_EQ(track->WriteSample(file.get(), b, 0, 40, false), mp4err::kFailed);
    SmartPtr<Mp4Track> bare(new Mp4Track());
    EXPECT_EQ(bare->Finish(file.get()), mp4err::kFailed);
}

TEST_F(TrackFixture, AChunkPastFourGigabytesIsRefusedAndLeavesNoTableEntries) {
    WriteSamples(25, 10, 40, 1);  // chunk 1 at 0
    // Pretend the file has grown to just below 4 GiB (a sparse gap): the next
    // chunk would end past what a 32-bit offset can point at.
    ASSERT_EQ(file->SetPosition(0xFFFFFF80), 0);
    for (int i = 0; i < 24; ++i) {
        Bytes s(10, 0xEE);
        ASSERT_EQ(track->WriteSample(file.get(), s.data(), s.size(), 40, false), 0);
    }
    Bytes s(10, 0xEE);
    EXPECT_EQ(track->WriteSample(file.get(), s.data(), s.size(), 40, false), mp4err::kTooLarge);
    EXPECT_EQ(file->GetPosition(), 0xFFFFFF80);  // nothing written

    ASSERT_EQ(file->SetPosition(250), 0);
    WriteSamples(5, 10, 40, 26);  // pending at Finish
    ASSERT_EQ(track->Finish(file.get()), 0);
    // Exactly the 30 samples in the file are listed, in two chunks.
    EXPECT_EQ(Column("stsz", "sampleSize").size(), 30u);
    EXPECT_EQ(Column("stco", "chunkOffset"), (std::vector<uint32_t>{0, 250}));
    EXPECT_EQ(Column("stsc", "samplesPerChunk"), (std::vector<uint32_t>{25, 5}));
    EXPECT_EQ(Column("stts", "sampleCount"), (std::vector<uint32_t>{30}));
    EXPECT_EQ(track->GetDuration(), 1200u);
}

TEST_F(TrackFixture, AChunkTheDiskDidNotTakeLeavesNoTableEntries) {
    ASSERT_EQ(file->Close(), 0);
    ASSERT_EQ(file->Open("/dev/full", "wb"), 0);
    Bytes big(64 * 1024, 1);  // beyond the stream's buffer: the write fails at once
    for (int i = 0; i < 24; ++i) ASSERT_EQ(track->WriteSample(file.get(), big.data(), big.size(), 40, i == 0), 0);
    EXPECT_EQ(track->WriteSample(file.get(), big.data(), big.size(), 40, false), mp4err::kShortWrite);
    EXPECT_EQ(track->Finish(file.get()), 0);
    EXPECT_TRUE(Column("stsz", "sampleSize").empty());
    EXPECT_TRUE(Column("stss", "sampleNumber").empty());
    EXPECT_TRUE(Column("stco", "chunkOffset").empty());
    EXPECT_TRUE(Column("stts", "sampleCount").empty());
    EXPECT_EQ(track->GetDuration(), 0u);
    EXPECT_EQ(file->Close(), mp4err::kShortWrite);
}

TEST_F(TrackFixture, AudioTracksFillTheirESDescriptor) {
    track->Close();
    root->Clear();
    ASSERT_EQ(file->Close(), 0);
    Make("mp4a", 8000);
    Bytes small(100, 0), large(300, 0);
    for (int i = 0; i < 8; ++i) {
        const Bytes& s = i == 3 ? large : small;
        ASSERT_EQ(track->WriteSample(file.get(), s.data(), s.size(), 1000, true), 0);
    }
    ASSERT_EQ(track->Finish(file.get()), 0);
    Mp4Atom* trak = track->GetTrak();
    const std::string esds = kStbl + "stsd.mp4a.esds.";
    EXPECT_EQ(trak->FindProperty(esds + "bufferSize")->GetValue(), 300);
    // 1000 bytes in one second: 8000 bit/s.
    EXPECT_EQ(trak->FindProperty(esds + "avgBitrate")->GetValue(), 8000);
    EXPECT_EQ(trak->FindProperty(esds + "maxBitrate")->GetValue(), 9600);
}

TEST_F(TrackFixture, TimeTableAddsUpToTheTrackDuration) {
    Bytes s(3, 0);
    for (int64_t d : {40, 40, 50, 30, 30}) ASSERT_EQ(track->WriteSample(file.get(), s.data(), 3, d, false), 0);
    ASSERT_EQ(track->Finish(file.get()), 0);
    EXPECT_EQ(Column("stts", "sampleCount"), (std::vector<uint32_t>{2, 1, 2}));
    EXPECT_EQ(Column("stts", "sampleDelta"), (std::vector<uint32_t>{40, 50, 30}));
    EXPECT_EQ(track->GetDuration(), 190u);
}
