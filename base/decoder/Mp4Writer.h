#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4Atom.h"
#include "base/decoder/Mp4File.h"
#include "base/decoder/H264HeaderParser.h"
#include "base/decoder/Mp4Track.h"
#include "base/decoder/SmartPtr.h"

namespace lumora {

// Writes one MP4 file with one H.264 video track from NAL units given one
// at a time with their start codes. "ftyp" and the "mdat" header are
// written at once, samples are appended to "mdat" as they complete, the
// first sequence and picture parameter sets go to the "avcC" box instead of
// the samples, and Finish patches the "mdat" size and writes "moov" after
// it. A plain object used from one thread at a time.
//
// Closed -> Open -> AddVideoTrack -> WriteHeader -> WriteVideoSample ... ->
// Finish -> Close.
class Mp4Writer {
public:
    // The largest NAL unit taken (a device frame is far smaller).
    static constexpr size_t kMaxNalSize = 32u << 20;
    // A pending sample above this many bytes is written before its frame ends.
    static constexpr uint32_t kMaxPendingSample = 0xFFFFF;

    Mp4Writer() = default;
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;
    // Closes what is still open (without finishing it).
    virtual ~Mp4Writer();

    // Opens path for writing ("wb") and makes the box tree: 0, -10 when a
    // file is held, -11 when the file cannot be opened.
    int Open(const char* path);
    bool IsOpen() const { return fMp4File.get() != nullptr; }

    // Adds a track; none without a box tree.
    Mp4Track* AddTrack(const char* handlerType, uint32_t timeScale);
    // Adds the H.264 track (sample duration in time-scale units; 1 is used
    // for anything below 1): its track id, or -12 without an open writer.
    int AddVideoTrack(uint32_t timeScale, int64_t sampleDuration, uint16_t width, uint16_t height);
    // Writes "ftyp" and the "mdat" header: 0, -12 without file or tree, or
    // the first failure.
    int WriteHeader();
    // Takes one NAL unit (with or without its start code). Answers the NAL
    // body length appended to the pending sample, n for a parameter set
    // taken into "avcC" or skipped, 0 when nothing was given or there is no
    // video track, -1 for a unit above kMaxNalSize, or the failure code when
    // the sample it completed could not be written (that sample is dropped,
    // and samples up to the next key frame are skipped so the file stays
    // decodable).
    int WriteVideoSample(const uint8_t* nal, size_t n, int64_t timestamp, bool isKeyFrame, bool endOfFrame);
    // Writes a sample still open, completes the tables, patches the "mdat"
    // size, writes "moov" and flushes: 0, or -1 without file or tree, or the
    // failure that kept the file from being complete (-13, -15, -16),
    // including a sample write that failed earlier in the recording.
    int Finish();
    // Closes every track, the file and the box tree: 0, or -15 when the file
    // could not take its last buffered bytes.
    int Close();

    // "avcC" of the video track; each does nothing when a box or property is missing.
    void AddSequenceParameterSet(const uint8_t* bytes, size_t n);
    void AddPictureParameterSet(const uint8_t* bytes, size_t n);
    void SetProfileLevel(uint8_t profile, uint8_t level);
    void SetProfileCompatibility(uint8_t v);

    Mp4Atom* GetRoot() const { return fRootAtom.get(); }
    Mp4Track* GetVideoTrack() const { return fTracks.Get(fVideoTrackIndex).get(); }
    uint32_t SyncSampleCount() const { return fSyncSampleCount; }

private:
    int FlushSample(Mp4Track* track);
    Mp4Atom* AvcConfiguration() const;
    // Adds one parameter set to the avcC table `entries` and updates its
    // `count` field, while the table holds fewer than `limit` sets.
    void AddParameterSet(const char* entries, const char* count, int32_t limit, const uint8_t* bytes, size_t n);
    static uint32_t Now();

    std::vector<uint8_t> fVideoBuffer;  // NAL units, each after its 4-byte length
    bool fIsSyncSample = true;
    bool fWaitForSync = false;
    int fLostWrite = 0;  // the first sample write that failed since Open
    // Presentation order of the pending sample, from its first slice's
    // picture order count (sequence parameter sets of order type 0).
    void NoteSampleOrder(const uint8_t* nal, size_t n, int type);
    H264HeaderParser fOrderParser;
    bool fOrderSps = false;
    bool fSampleOrderSet = false;
    int64_t fSampleGroup = 0;
    int64_t fSampleOrder = 0;
    int64_t fOrderGroup = 0;
    int64_t fPrevOrderMsb = 0;
    int64_t fPrevOrderLsb = 0;
    uint32_t fSyncSampleCount = 0;
    int64_t fLastVideoTimestamp = 0;
    int64_t fLastAudioTimestamp = 0;
    int64_t fStartTimestamp = 0;
    int32_t fVideoTrackIndex = -1;
    bool fIsAACAudio = false;
    int32_t fSampleRate = 0;
    int64_t fSampleDuration = 0;
    bool fHasSPS = false;
    bool fHasPPS = false;
    SmartPtr<Mp4Atom> fRootAtom;
    SmartPtr<Mp4File> fMp4File;
    Mp4Array<SmartPtr<Mp4Track>> fTracks;
};

}  // namespace lumora
